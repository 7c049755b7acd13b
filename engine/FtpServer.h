// The FTP server: a listening socket, the registry of visitors' control
// connections, the command table and its handlers. It never blocks; all work
// runs in socket notifications and in requests it posts to itself, on the
// thread that made it. The owner plugs in through the On... events: it is
// asked (password, folder changes) and told (connections, commands, replies).
//
// Handlers are spread over several files by command family:
//   FtpServer.cpp            registry, deferred requests, dispatch, replies
//   FtpServerLogin.cpp       USER PASS QUIT NOOP SYST TYPE STRU MODE OVER
//   FtpServerNavigation.cpp  CWD CDUP PWD XPWD
#pragma once

#include "AsyncSocket.h"
#include "FtpCtrlSocket.h"
#include "FtpTypes.h"

#include <QObject>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace quill {

class FtpServerException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TFtpServer;

// A command handler: sets Answer to the one reply line (without CR LF).
using TFtpCommandHandler
    = void (TFtpServer::*)(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);

struct TFtpSrvCommandTableItem {
    std::string Keyword;
    TFtpCommandHandler Handler = nullptr;
    bool LoginRequired = true; // refused with 530 before login
};

// Event types. Sender is the server; `&` parameters may be changed by the owner.
using TNotifyEvent = std::function<void(TFtpServer& Sender)>;
using TFtpSrvAuthenticateEvent = std::function<void(TFtpServer& Sender, TFtpCtrlSocket& Client,
    const TFtpString& UserName, const TFtpString& Password, bool& Authenticated)>;
using TFtpSrvClientConnectEvent = std::function<void(TFtpServer& Sender, TFtpCtrlSocket& Client, quint16 Error)>;
using TFtpSrvClientCommandEvent = std::function<void(TFtpServer& Sender, TFtpCtrlSocket& Client,
    TFtpString& Keyword, TFtpString& Params, TFtpString& Answer)>;
using TFtpSrvAnswerToClientEvent
    = std::function<void(TFtpServer& Sender, TFtpCtrlSocket& Client, TFtpString& Answer)>;
// Directory is a full local path; paths are never cut to the 255 bytes of a TFtpString.
using TFtpSrvChangeDirectoryEvent = std::function<void(TFtpServer& Sender, TFtpCtrlSocket& Client,
    const std::string& Directory, bool& Allowed)>;

class TFtpServer : public QObject {
public:
    explicit TFtpServer(QObject* owner = nullptr);
    ~TFtpServer() override;
    TFtpServer(const TFtpServer&) = delete;
    TFtpServer& operator=(const TFtpServer&) = delete;

    // --- Settings (a change while listening applies at the next Start)
    std::string Addr = "0.0.0.0";
    std::string Port = "ftp"; // decimal or a service name
    std::string Banner = "220 Quillshare FTP Server ready.";
    int MaxClients = 0; // 0 or less: no limit
    int UserData = 0;   // free for the owner
    PathStyle PathRules = HostPathStyle();
    // Makes the control connection objects; a derived class may be put here.
    std::function<std::unique_ptr<TFtpCtrlSocket>()> ConnectionClass;

    // --- Operations
    // Listens on Addr:Port (does nothing when already listening); raises
    // ESocketException when the port cannot be had.
    void Start();
    // Stops listening; connected visitors stay.
    void Stop();
    // Closes every visitor; each is freed (OnClientDisconnect) later, from the loop.
    void CloseAllClients();
    bool Listening() const;
    // Where the server listens (after Start); useful with Port "0".
    std::string ListenAddr() const;
    std::string ListenPort() const;
    int ClientCount() const { return static_cast<int>(connections_.size()); }
    // The registered connection at index, or nullptr.
    TFtpCtrlSocket* Client(int index) const;

    virtual void RegisterCommand(const std::string& keyword, TFtpCommandHandler handler, bool loginRequired);
    const std::vector<TFtpSrvCommandTableItem>& CommandTable() const { return commandTable_; }
    // The one path of every reply: OnAnswerToClient, then the line; a reply
    // that cannot be sent is dropped.
    void ReplyToClient(TFtpCtrlSocket& Client, TFtpString Answer);

    // --- Events
    TNotifyEvent OnStart;
    TNotifyEvent OnStop;
    TFtpSrvAuthenticateEvent OnAuthenticate;
    TFtpSrvClientConnectEvent OnClientConnect;
    TFtpSrvClientConnectEvent OnClientDisconnect;
    TFtpSrvClientCommandEvent OnClientCommand;
    TFtpSrvAnswerToClientEvent OnAnswerToClient;
    TFtpSrvChangeDirectoryEvent OnChangeDirectory;

protected:
    // --- Triggers: each fires its event when the owner assigned one.
    virtual void TriggerStart();
    virtual void TriggerStop();
    virtual void TriggerAuthenticate(TFtpCtrlSocket& Client, const TFtpString& UserName,
                                     const TFtpString& Password, bool& Authenticated);
    virtual void TriggerChangeDirectory(TFtpCtrlSocket& Client, const std::string& Directory, bool& Allowed);
    virtual void TriggerAnswerToClient(TFtpCtrlSocket& Client, TFtpString& Answer);
    virtual void TriggerClientConnect(TFtpCtrlSocket& Client, quint16 Error);
    virtual void TriggerClientDisconnect(TFtpCtrlSocket& Client, quint16 Error);
    virtual void TriggerClientCommand(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params,
                                      TFtpString& Answer);

    // --- Login and session commands
    virtual void HandleUSER(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandlePASS(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleQUIT(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleNOOP(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleSYST(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleTYPE(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleSTRU(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleMODE(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleOVER(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);

    // --- Navigation
    virtual void HandleCWD(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    // The worker shared by CWD and CDUP.
    virtual void DoCWD(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleCDUP(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandlePWD(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleXPWD(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);

    // The dispatcher: every complete line of every connection comes here.
    void ProcessCommandLine(TFtpCtrlSocket& Client, std::string_view line);

    // --- Deferred requests, handled later from the event loop in posting
    // order. A request whose socket is gone by then is dropped.
    enum class Request { CloseWhenSent, FreeClient, AbortData, CloseData };
    void PostRequest(Request kind, TCustomAsyncSocket& target, int countdown = 0);
    void customEvent(QEvent* event) override;

private:
    void RegisterBuiltInCommands();
    void AcceptSession(quint16 Error);
    void ClientClosed(TFtpCtrlSocket& Client);
    void ClientAllSent(TFtpCtrlSocket& Client);
    void ServerStateChanged(TSocketState NewState);
    void FreeClient(TFtpCtrlSocket& Client);
    void Unregister(TFtpCtrlSocket& Client);

    std::unique_ptr<TAsyncSocket> serverSocket_;
    // Every live connection object, owned here until its free request...
    std::vector<std::unique_ptr<TFtpCtrlSocket>> clients_;
    // ...and the registry: the connections that count, in order of acceptance.
    std::vector<TFtpCtrlSocket*> connections_;
    int clientCounter_ = 0; // never decreases: names stay unique
    std::vector<TFtpSrvCommandTableItem> commandTable_;
    bool destroying_ = false;
};

} // namespace quill
