// Navigation commands: CWD CDUP PWD XPWD, and how a visitor's names become paths.
#include "FtpServer.h"

namespace quill {

std::string TFtpServer::ResolveClientPath(TFtpCtrlSocket& Client, const std::string& name, bool mayBeRoot)
{
    std::string path = ResolveFilePath(PathRules, Client.CurrentDir, name);
    if (!ConfineToHomeDir && !Client.Confined)
        return path;
    // Security: a confined visitor names nothing outside its folder, not even
    // to learn whether it exists. The collapsed path is the one acted on, so
    // a ".." after a link inside the folder cannot climb out of the link's target.
    if (Client.FtpState != ftpcReady || !Client.Confined)
        throw EFtpPathError("Permission denied");
    path = CollapseDots(PathRules, path);
    const bool inside = IsWithinFolder(PathRules, Client.ConfineDir, path);
    // Deleting, renaming or removing the confinement folder itself is refused too.
    const bool isRoot = inside && IsWithinFolder(PathRules, path, Client.ConfineDir);
    if (!inside || (isRoot && !mayBeRoot))
        throw EFtpPathError("Permission denied");
    return path;
}

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
