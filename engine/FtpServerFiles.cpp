#include "FtpServer.h"
namespace quill {
void TFtpServer::HandleDELE(TFtpCtrlSocket&, TFtpString&, TFtpString&, TFtpString& Answer) { Answer = "502 Not yet"; }
void TFtpServer::HandleSIZE(TFtpCtrlSocket&, TFtpString&, TFtpString&, TFtpString& Answer) { Answer = "502 Not yet"; }
void TFtpServer::HandleRNFR(TFtpCtrlSocket&, TFtpString&, TFtpString&, TFtpString& Answer) { Answer = "502 Not yet"; }
void TFtpServer::HandleRNTO(TFtpCtrlSocket&, TFtpString&, TFtpString&, TFtpString& Answer) { Answer = "502 Not yet"; }
void TFtpServer::HandleMKD(TFtpCtrlSocket&, TFtpString&, TFtpString&, TFtpString& Answer) { Answer = "502 Not yet"; }
void TFtpServer::HandleRMD(TFtpCtrlSocket&, TFtpString&, TFtpString&, TFtpString& Answer) { Answer = "502 Not yet"; }
void TFtpServer::HandleMDTM(TFtpCtrlSocket&, TFtpString&, TFtpString&, TFtpString& Answer) { Answer = "502 Not yet"; }
}
