#include "FtpServer.h"
namespace quill {
void TFtpServer::HandleLIST(TFtpCtrlSocket&, TFtpString&, TFtpString&, TFtpString& Answer) { Answer = "502 Not yet"; }
void TFtpServer::HandleNLST(TFtpCtrlSocket&, TFtpString&, TFtpString&, TFtpString& Answer) { Answer = "502 Not yet"; }
}
