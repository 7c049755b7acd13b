// Navigation commands: CWD CDUP PWD XPWD.
#include "FtpServer.h"

namespace quill {

void TFtpServer::HandleCWD(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer)
{
    Client.CurrentCommand = ckCWD;
    DoCWD(Client, Keyword, Params, Answer);
}

void TFtpServer::HandleCDUP(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer)
{
    Client.CurrentCommand = ckCDUP;
    Params = "..";
    DoCWD(Client, Keyword, Params, Answer);
}

void TFtpServer::DoCWD(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    const std::string previous = Client.CurrentDir;
    try {
        Client.ChangeDir(std::string(TrimBlanks(ToLocalSeparators(PathRules, Params))));
        bool Allowed = true;
        TriggerChangeDirectory(Client, Client.CurrentDir, Allowed);
        if (Allowed) {
            Answer = "250 CWD command successful. \"" + DisplayForm(PathRules, Client.CurrentDir)
                + "\" is current directory.";
            return;
        }
        Client.CurrentDir = previous;
        Answer = "501 CWD failed. No permission";
    } catch (const std::exception& e) {
        Client.CurrentDir = previous;
        Answer = std::string("501 CWD failed. ") + e.what();
    }
}

void TFtpServer::HandlePWD(TFtpCtrlSocket& Client, TFtpString&, TFtpString&, TFtpString& Answer)
{
    Client.CurrentCommand = ckPWD;
    Answer = "257 \"" + DisplayForm(PathRules, Client.CurrentDir) + "\" is current directory.";
}

void TFtpServer::HandleXPWD(TFtpCtrlSocket& Client, TFtpString&, TFtpString&, TFtpString& Answer)
{
    Client.CurrentCommand = ckXPWD;
    Answer = "257 \"" + DisplayForm(PathRules, Client.CurrentDir) + "\" is current directory.";
}

} // namespace quill
