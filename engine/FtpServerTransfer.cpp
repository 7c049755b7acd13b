#include "FtpServer.h"
namespace quill {
void TFtpServer::HandleRETR(TFtpCtrlSocket&, TFtpString&, TFtpString&, TFtpString& Answer) { Answer = "502 Not yet"; }
void TFtpServer::HandleSTOR(TFtpCtrlSocket&, TFtpString&, TFtpString&, TFtpString& Answer) { Answer = "502 Not yet"; }
void TFtpServer::HandleAPPE(TFtpCtrlSocket&, TFtpString&, TFtpString&, TFtpString& Answer) { Answer = "502 Not yet"; }
}
