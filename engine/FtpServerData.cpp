#include "FtpServer.h"
namespace quill {
void TFtpServer::HandlePORT(TFtpCtrlSocket&, TFtpString&, TFtpString&, TFtpString& Answer) { Answer = "502 Not yet"; }
void TFtpServer::HandlePASV(TFtpCtrlSocket&, TFtpString&, TFtpString&, TFtpString& Answer) { Answer = "502 Not yet"; }
void TFtpServer::HandleREST(TFtpCtrlSocket&, TFtpString&, TFtpString&, TFtpString& Answer) { Answer = "502 Not yet"; }
void TFtpServer::HandleABOR(TFtpCtrlSocket&, TFtpString&, TFtpString&, TFtpString& Answer) { Answer = "502 Not yet"; }
}
namespace quill {
void TFtpServer::AbortTransfer(TFtpCtrlSocket&, const std::string&) { }
}
