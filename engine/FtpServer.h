// The FTP server: a listening socket, the registry of visitors' control
// connections, the command table and its handlers. It never blocks; all work
// runs in socket notifications and in requests it posts to itself, on the
// thread that made it. The owner plugs in through the On... events: it is
// asked (password, folder changes) and told (connections, commands, replies).
//
// Handlers are spread over several files by command family:
//   FtpServer.cpp            registry, deferred requests, dispatch, replies
//   FtpServerLogin.cpp       USER PASS QUIT NOOP SYST TYPE STRU MODE OVER
//   FtpServerNavigation.cpp  CWD CDUP PWD XPWD, and how visitors' names become paths
//   FtpServerData.cpp        PORT PASV REST ABOR and the data connection's set-up
//   FtpServerTransfer.cpp    RETR STOR APPE and the send and store paths
//   FtpServerListing.cpp     LIST NLST
//   FtpServerFiles.cpp       DELE SIZE RNFR RNTO MKD RMD MDTM
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
// Directory is the LIST or NLST parameter; Detailed is true for LIST.
using TFtpSrvBuildDirectoryEvent
    = std::function<void(TFtpServer& Sender, TFtpCtrlSocket& Client, TFtpString& Directory, bool Detailed)>;
// FilePath is the full local path the command will act on; the owner may change it.
using TFtpSrvValidateXferEvent = std::function<void(TFtpServer& Sender, TFtpCtrlSocket& Client,
    std::string& FilePath, bool& Allowed)>;
using TFtpSrvDataSessionConnectedEvent
    = std::function<void(TFtpServer& Sender, TFtpCtrlSocket& Client, TAsyncSocket& Data, quint16 Error)>;
using TFtpSrvRetrDataSentEvent = TFtpSrvDataSessionConnectedEvent;
// The bytes of one block, before they are written.
using TFtpSrvDataAvailableEvent = std::function<void(TFtpServer& Sender, TFtpCtrlSocket& Client,
    TAsyncSocket& Data, const char* Buf, int Len, quint16 Error)>;

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
    // Security: when set, each visitor is confined at login to its HomeDir:
    // every name outside it is refused with "Permission denied", and before
    // login every name is refused. Turned on, it refuses every name of the
    // visitors logged in before; turned off, it frees visitors at their next login.
    bool ConfineToHomeDir = false;
    // Bytes per block of a transfer: one block in flight per transfer.
    int TransferBlockSize = limits::DefaultRcvSize;
    // Opens the files of transfers (OpenFileStream unless replaced, e.g. by
    // a test that makes the Nth write fail).
    std::function<std::unique_ptr<TStream>(const std::string& path, TFileOpenMode mode)> OpenFile = OpenFileStream;
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
    TFtpSrvChangeDirectoryEvent OnMakeDirectory;
    TFtpSrvBuildDirectoryEvent OnBuildDirectory;
    TFtpSrvBuildDirectoryEvent OnAlterDirectory;
    TFtpSrvDataSessionConnectedEvent OnStorSessionConnected;
    TFtpSrvDataSessionConnectedEvent OnStorSessionClosed;
    TFtpSrvDataSessionConnectedEvent OnRetrSessionConnected;
    TFtpSrvDataSessionConnectedEvent OnRetrSessionClosed;
    TFtpSrvRetrDataSentEvent OnRetrDataSent;
    TFtpSrvDataAvailableEvent OnStorDataAvailable;
    TFtpSrvValidateXferEvent OnValidatePut;
    TFtpSrvValidateXferEvent OnValidateGet;
    TFtpSrvValidateXferEvent OnValidateDele;
    TFtpSrvValidateXferEvent OnValidateRmd;
    TFtpSrvValidateXferEvent OnValidateRnFr;
    TFtpSrvValidateXferEvent OnValidateRnTo;

protected:
    // --- Triggers: each fires its event when the owner assigned one.
    virtual void TriggerStart();
    virtual void TriggerStop();
    virtual void TriggerAuthenticate(TFtpCtrlSocket& Client, const TFtpString& UserName,
                                     const TFtpString& Password, bool& Authenticated);
    virtual void TriggerChangeDirectory(TFtpCtrlSocket& Client, const std::string& Directory, bool& Allowed);
    virtual void TriggerMakeDirectory(TFtpCtrlSocket& Client, const std::string& Directory, bool& Allowed);
    void TriggerBuildDirectory(TFtpCtrlSocket& Client, TFtpString& Directory, bool Detailed);
    void TriggerAlterDirectory(TFtpCtrlSocket& Client, TFtpString& Directory, bool Detailed);
    virtual void TriggerStorSessionConnected(TFtpCtrlSocket& Client, TAsyncSocket& Data, quint16 Error);
    virtual void TriggerStorSessionClosed(TFtpCtrlSocket& Client, TAsyncSocket& Data, quint16 Error);
    virtual void TriggerRetrSessionConnected(TFtpCtrlSocket& Client, TAsyncSocket& Data, quint16 Error);
    virtual void TriggerRetrSessionClosed(TFtpCtrlSocket& Client, TAsyncSocket& Data, quint16 Error);
    virtual void TriggerRetrDataSent(TFtpCtrlSocket& Client, TAsyncSocket& Data, quint16 Error);
    virtual void TriggerStorDataAvailable(TFtpCtrlSocket& Client, TAsyncSocket& Data, const char* Buf, int Len,
                                          quint16 Error);
    virtual void TriggerValidatePut(TFtpCtrlSocket& Client, std::string& FilePath, bool& Allowed);
    virtual void TriggerValidateGet(TFtpCtrlSocket& Client, std::string& FilePath, bool& Allowed);
    virtual void TriggerValidateDele(TFtpCtrlSocket& Client, std::string& FilePath, bool& Allowed);
    virtual void TriggerValidateRmd(TFtpCtrlSocket& Client, std::string& FilePath, bool& Allowed);
    virtual void TriggerValidateRnFr(TFtpCtrlSocket& Client, std::string& FilePath, bool& Allowed);
    virtual void TriggerValidateRnTo(TFtpCtrlSocket& Client, std::string& FilePath, bool& Allowed);
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

    // --- Data connection
    virtual void HandlePORT(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandlePASV(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleREST(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleABOR(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);

    // --- Transfers
    virtual void HandleRETR(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleSTOR(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleAPPE(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);

    // --- Listings
    virtual void HandleLIST(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleNLST(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);

    // --- File management
    virtual void HandleDELE(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleSIZE(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleRNFR(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleRNTO(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleMKD(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleRMD(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);
    virtual void HandleMDTM(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer);

    // The local path of a name a visitor sent, by the path rules. Raises
    // EFtpPathError when they refuse it, or "Permission denied" when the
    // visitor is confined and the name lies outside (`mayBeRoot`: whether the
    // confinement folder itself is acceptable).
    std::string ResolveClientPath(TFtpCtrlSocket& Client, const std::string& name, bool mayBeRoot = true);

    // The dispatcher: every complete line of every connection comes here.
    void ProcessCommandLine(TFtpCtrlSocket& Client, std::string_view line);

    // --- Deferred requests, handled later from the event loop in posting
    // order. A request whose socket is gone by then is dropped.
    enum class Request { CloseWhenSent, FreeClient, AbortData, CloseData };
    void PostRequest(Request kind, TCustomAsyncSocket& target, int countdown = 0);
    void customEvent(QEvent* event) override;

private:
    // The two handler sets of a data connection.
    enum class DataPath { Send, Store, Append };
    // Starts a transfer's data connection, actively or on the passive port.
    void StartDataConnection(TFtpCtrlSocket& Client, DataPath path);
    void InstallHandlers(TFtpCtrlSocket& Client, DataPath path);
    void RunConnectedStep(TFtpCtrlSocket& Client, DataPath path, quint16 Error);
    void DataConnectionReset(TFtpCtrlSocket& Client);
    void PassiveAccept(TFtpCtrlSocket& Client);
    // Send path (RETR, LIST, NLST).
    void SendConnected(TFtpCtrlSocket& Client, quint16 Error);
    void SendNextBlock(TFtpCtrlSocket& Client);
    void SendDataSent(TFtpCtrlSocket& Client, quint16 Error);
    void SendClosed(TFtpCtrlSocket& Client, quint16 Error);
    // Store path (STOR, APPE). PrepareStore checks and starts the upload;
    // false when the owner refused it (errors raise).
    bool PrepareStore(TFtpCtrlSocket& Client, const TFtpString& Params, DataPath path);
    void StoreConnected(TFtpCtrlSocket& Client, quint16 Error);
    void StoreReceive(TFtpCtrlSocket& Client, DataPath path, quint16 Error);
    void StoreClosed(TFtpCtrlSocket& Client, DataPath path, quint16 Error);
    void OpenStoreFile(TFtpCtrlSocket& Client, DataPath path);
    // Frees a stream left from an earlier transfer, unless one is running.
    void ForgetStaleStream(TFtpCtrlSocket& Client);
    // Records a transfer's failure and asks for its data connection to be aborted.
    void AbortTransfer(TFtpCtrlSocket& Client, const std::string& reason);
    void SendListing(TFtpCtrlSocket& Client, bool Detailed, TFtpString& Params, TFtpString& Answer);
    void BuildListing(TFtpCtrlSocket& Client, const std::string& param, bool Detailed, TStream& stream);

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
