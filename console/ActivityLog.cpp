#include "ActivityLog.h"

namespace quill {

ActivityLog::ActivityLog(Sink sink, bool maskPasswords)
    : sink_(std::move(sink))
    , maskPasswords_(maskPasswords)
{
}

void ActivityLog::Attach(TFtpServer& server)
{
    server.OnStart = [this](TFtpServer&) { ServerStarted(); };
    server.OnStop = [this](TFtpServer&) { ServerStopped(); };
    server.OnClientConnect = [this](TFtpServer&, TFtpCtrlSocket& c, quint16) { ClientConnected(c); };
    server.OnClientDisconnect = [this](TFtpServer&, TFtpCtrlSocket& c, quint16) { ClientDisconnected(c); };
    server.OnClientCommand = [this](TFtpServer&, TFtpCtrlSocket& c, TFtpString& keyword, TFtpString& params,
                                    TFtpString&) { CommandReceived(c, keyword, params); };
    server.OnAnswerToClient = [this](TFtpServer&, TFtpCtrlSocket& c, TFtpString& answer) { ReplySent(c, answer); };
    server.OnStorSessionConnected
        = [this](TFtpServer&, TFtpCtrlSocket& c, TAsyncSocket&, quint16 e) { StoreSessionFailedToOpen(c, e); };
    server.OnStorSessionClosed
        = [this](TFtpServer&, TFtpCtrlSocket& c, TAsyncSocket&, quint16 e) { DataSessionClosed(c, e); };
    server.OnRetrDataSent = [this](TFtpServer&, TFtpCtrlSocket& c, TAsyncSocket&, quint16 e) { DataSent(c, e); };
}

void ActivityLog::Write(const std::string& line) const
{
    if (sink_)
        sink_(line);
}

void ActivityLog::ClientConnected(TFtpCtrlSocket& client) const
{
    Write("! " + client.GetPeerAddr() + " connected");
}

void ActivityLog::ClientDisconnected(TFtpCtrlSocket& client) const
{
    Write("! " + client.GetPeerAddr() + " disconnected");
}

void ActivityLog::CommandReceived(TFtpCtrlSocket& client, const TFtpString& keyword, const TFtpString& params) const
{
    // Security: the headless server keeps passwords out of its output.
    const std::string& shown = maskPasswords_ && keyword == "PASS" ? std::string("***") : params.str();
    Write("< " + client.GetPeerAddr() + " " + keyword.str() + " " + shown);
}

void ActivityLog::ReplySent(TFtpCtrlSocket& client, const TFtpString& answer) const
{
    Write("> " + client.GetPeerAddr() + " " + answer.str());
}

void ActivityLog::UserAuthenticated(TFtpCtrlSocket& client, const std::string& userName) const
{
    Write("! " + client.GetPeerAddr() + " User '" + userName + "' is authenticated");
}

void ActivityLog::ErrorLine(TFtpCtrlSocket& client, const char* what, quint16 error) const
{
    if (error != 0)
        Write("! " + client.GetPeerAddr() + " " + what + " Error #" + std::to_string(error));
}

void ActivityLog::StoreSessionFailedToOpen(TFtpCtrlSocket& client, quint16 error) const
{
    ErrorLine(client, "Data session failed to open.", error);
}

void ActivityLog::DataSessionClosed(TFtpCtrlSocket& client, quint16 error) const
{
    ErrorLine(client, "Data session closed.", error);
}

void ActivityLog::RetrieveSessionConnected(TFtpCtrlSocket& client, quint16 error) const
{
    ErrorLine(client, "Data session connected.", error);
}

void ActivityLog::DataSent(TFtpCtrlSocket& client, quint16 error) const
{
    ErrorLine(client, "Data sent.", error);
}

void ActivityLog::ListClients(const TFtpServer& server) const
{
    if (server.ClientCount() == 0) {
        Write("No client");
        return;
    }
    for (int i = 0; i < server.ClientCount(); ++i) {
        TFtpCtrlSocket& client = *server.Client(i);
        Write("Client " + std::to_string(i + 1) + ": " + client.GetPeerAddr() + "/" + client.GetPeerPort());
    }
}

std::string UserCountText(const std::vector<std::string>& peerAddresses)
{
    if (peerAddresses.empty())
        return " With No users";
    int users = 0;
    std::string previous;
    for (const std::string& addr : peerAddresses) {
        if (addr != previous)
            ++users;
        previous = addr;
    }
    return "with " + std::to_string(users) + (users == 1 ? " user" : " users");
}

std::string UserCountText(const TFtpServer& server)
{
    std::vector<std::string> addresses;
    for (int i = 0; i < server.ClientCount(); ++i)
        addresses.push_back(server.Client(i)->GetPeerAddr());
    return UserCountText(addresses);
}

} // namespace quill
