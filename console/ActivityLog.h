// The activity log: one line per connection, command, reply and failed data
// connection, in the forms the console shows and the headless server prints.
// The log only formats; where a line goes is the sink's business.
#pragma once

#include "FtpServer.h"

#include <functional>
#include <string>
#include <vector>

namespace quill {

class ActivityLog {
public:
    using Sink = std::function<void(const std::string& line)>;

    // `maskPasswords`: show PASS parameters as "***" (the headless server's
    // output may end up in files others read; the console shows them).
    explicit ActivityLog(Sink sink, bool maskPasswords = false);

    // Takes the server's connection, command, reply, start/stop and data
    // connection events. (The policy takes the events it decides on and
    // writes its own lines through this log.)
    void Attach(TFtpServer& server);

    void Write(const std::string& line) const;

    // --- The lines, one operation per form
    void ServerStarted() const { Write("! Server started"); }
    void ServerStopped() const { Write("! Server stopped"); }
    void ClientConnected(TFtpCtrlSocket& client) const;
    void ClientDisconnected(TFtpCtrlSocket& client) const;
    void CommandReceived(TFtpCtrlSocket& client, const TFtpString& keyword, const TFtpString& params) const;
    void ReplySent(TFtpCtrlSocket& client, const TFtpString& answer) const;
    void UserAuthenticated(TFtpCtrlSocket& client, const std::string& userName) const;
    // "Data session ... Error #n" lines; written only when error is not 0.
    void StoreSessionFailedToOpen(TFtpCtrlSocket& client, quint16 error) const;
    void DataSessionClosed(TFtpCtrlSocket& client, quint16 error) const;
    void RetrieveSessionConnected(TFtpCtrlSocket& client, quint16 error) const;
    void DataSent(TFtpCtrlSocket& client, quint16 error) const;
    void VirtualDirectory() const { Write("! VIRTUAL DIR"); }
    void VirtualFile() const { Write("! VIRTUAL FILE"); }
    // "Client n: addr/port" per client, or "No client".
    void ListClients(const TFtpServer& server) const;

private:
    void ErrorLine(TFtpCtrlSocket& client, const char* what, quint16 error) const;

    Sink sink_;
    bool maskPasswords_;
};

// The user count label: consecutive clients from one address count as one
// user. " With No users", "with 1 user" or "with n users".
std::string UserCountText(const std::vector<std::string>& peerAddresses);
std::string UserCountText(const TFtpServer& server);

} // namespace quill
