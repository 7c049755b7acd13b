// Login and session commands: USER PASS QUIT NOOP SYST TYPE STRU MODE OVER.
#include "FtpServer.h"

#include "Limits.h"

namespace quill {

void TFtpServer::HandleUSER(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    Client.CurrentCommand = ckUSER;
    Client.UserName = std::string(TrimBlanks(Params));
    // A USER after a login logs the visitor out until the next PASS.
    Client.FtpState = ftpcWaitingPassword;
    Answer = "331 Password required for " + Client.UserName + ".";
}

void TFtpServer::HandlePASS(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    if (Client.FtpState != ftpcWaitingPassword) {
        Answer = "503 Login with USER first.";
        return;
    }
    Client.CurrentCommand = ckPASS;
    Client.PassWord = std::string(TrimBlanks(Params));
    bool Authenticated = true;
    TriggerAuthenticate(Client, Client.UserName, Client.PassWord, Authenticated);
    if (Authenticated) {
        Client.FtpState = ftpcReady;
        // Security: the confinement folder is fixed at login.
        Client.Confined = ConfineToHomeDir;
        Client.ConfineDir = ConfineToHomeDir ? CollapseDots(PathRules, Client.HomeDir) : std::string();
        // Security: a rename source approved for an earlier login is not
        // this login's to use.
        Client.RenameFrom.clear();
        Client.RenameTo.clear();
        // A home folder the path rules refuse reaches the dispatcher as a 501;
        // the visitor is logged in all the same, with the previous folder.
        Client.ChangeDir(Client.HomeDir);
        Answer = "230 User " + Client.UserName + " logged in.";
    } else {
        Client.FtpState = ftpcWaitingUserCode;
        Answer = "530 Login incorrect.";
    }
}

void TFtpServer::HandleQUIT(TFtpCtrlSocket& Client, TFtpString&, TFtpString&, TFtpString& Answer)
{
    Client.CurrentCommand = ckQUIT;
    Answer = "221 Goodbye.";
    // The reply leaves before this request is handled; the close waits for it.
    PostRequest(Request::CloseWhenSent, Client);
}

void TFtpServer::HandleNOOP(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    Client.CurrentCommand = ckNOOP;
    Answer = "200 Ok. Parameter was '" + Params.str() + "'.";
}

void TFtpServer::HandleSYST(TFtpCtrlSocket& Client, TFtpString&, TFtpString&, TFtpString& Answer)
{
    Client.CurrentCommand = ckSYST;
    Answer = "215 UNIX Type: L8 Quillshare";
}

void TFtpServer::HandleTYPE(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    Client.CurrentCommand = ckTYPE;
    std::string type(TrimBlanks(Params));
    for (char& c : type)
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    // Only recorded as accepted: files always travel byte for byte.
    if (type == "A" || type == "A N" || type == "I")
        Answer = "200 Type set to " + Params.str() + ".";
    else
        Answer = "500 'TYPE " + Params.str() + "': command not understood.";
}

void TFtpServer::HandleSTRU(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    Client.CurrentCommand = ckSTRU;
    Answer = "200 Ok. STRU parameter '" + Params.str() + "' ignored.";
}

void TFtpServer::HandleMODE(TFtpCtrlSocket&, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    if (Params.empty())
        Answer = "501 Missing argument for MODE";
    else if (Params == "S" || Params == "s")
        Answer = "200 MODE Ok";
    else
        Answer = "502 MODE other than S not supported";
}

void TFtpServer::HandleOVER(TFtpCtrlSocket& Client, TFtpString&, TFtpString&, TFtpString& Answer)
{
    // The line was too long for the buffer: stop reading, drop what is
    // waiting, say why and close once the reply has left.
    Client.ShutDown(sockapi::ShutdownHow::Receive);
    char discard[limits::OverDrainBlock];
    for (int block = 0; block < limits::OverDrainMaxBlocks; ++block) {
        if (Client.Receive(discard, sizeof discard) <= 0)
            break;
    }
    Answer = "500 Command too long";
    PostRequest(Request::CloseWhenSent, Client);
}

} // namespace quill
