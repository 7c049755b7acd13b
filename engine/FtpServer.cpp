#include "FtpServer.h"

#include "CommandLine.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QtDebug>

#include <algorithm>

namespace quill {

namespace {

    const QEvent::Type ServerRequestType = static_cast<QEvent::Type>(QEvent::User + 1);

    // A request the server posts to itself. The target is watched, so a
    // request for a socket freed in the meantime finds it null; the serial
    // tells a request for an earlier connection of a reused socket.
    class ServerRequestEvent : public QEvent {
    public:
        ServerRequestEvent(int kind, TCustomAsyncSocket* target, int countdown)
            : QEvent(ServerRequestType)
            , kind(kind)
            , target(target)
            , serial(target->ConnectionSerial())
            , countdown(countdown)
        {
        }
        int kind;
        QPointer<TCustomAsyncSocket> target;
        quint64 serial;
        int countdown;
    };

    const char* const NotLoggedIn = "530 Please login with USER and PASS.";

} // namespace

TFtpServer::TFtpServer(QObject* owner)
    : QObject(owner)
    , serverSocket_(std::make_unique<TAsyncSocket>())
{
    serverSocket_->setObjectName(QStringLiteral("ServerSocket"));
    ConnectionClass = [] { return std::make_unique<TFtpCtrlSocket>(); };
    RegisterBuiltInCommands();
}

TFtpServer::~TFtpServer()
{
    // No OnStop and no OnClientDisconnect while the server itself goes away.
    destroying_ = true;
    serverSocket_.reset();
    connections_.clear();
    clients_.clear();
}

void TFtpServer::RegisterBuiltInCommands()
{
    struct Row {
        const char* keyword;
        TFtpCommandHandler handler;
        bool loginRequired;
    };
    // The command table. A derived server's overrides are the ones that run,
    // since the handlers are virtual.
    static const Row rows[] = {
        { "PORT", &TFtpServer::HandlePORT, true },
        { "STOR", &TFtpServer::HandleSTOR, true },
        { "RETR", &TFtpServer::HandleRETR, true },
        { "CWD", &TFtpServer::HandleCWD, true },
        { "XPWD", &TFtpServer::HandleXPWD, true },
        { "PWD", &TFtpServer::HandlePWD, true },
        { "USER", &TFtpServer::HandleUSER, false },
        { "PASS", &TFtpServer::HandlePASS, false }, // its own rule: 503 unless a USER came first
        { "LIST", &TFtpServer::HandleLIST, true },
        { "NLST", &TFtpServer::HandleNLST, true },
        { "TYPE", &TFtpServer::HandleTYPE, true },
        { "SYST", &TFtpServer::HandleSYST, true },
        { "QUIT", &TFtpServer::HandleQUIT, false },
        { "DELE", &TFtpServer::HandleDELE, true },
        { "SIZE", &TFtpServer::HandleSIZE, true },
        { "REST", &TFtpServer::HandleREST, true },
        { "RNFR", &TFtpServer::HandleRNFR, true },
        { "RNTO", &TFtpServer::HandleRNTO, true },
        { "MKD", &TFtpServer::HandleMKD, true },
        { "RMD", &TFtpServer::HandleRMD, true },
        { "ABOR", &TFtpServer::HandleABOR, false },
        { "PASV", &TFtpServer::HandlePASV, true },
        { "NOOP", &TFtpServer::HandleNOOP, false },
        { "CDUP", &TFtpServer::HandleCDUP, true },
        { "APPE", &TFtpServer::HandleAPPE, true },
        { "STRU", &TFtpServer::HandleSTRU, false },
        { "XMKD", &TFtpServer::HandleMKD, true },
        { "XRMD", &TFtpServer::HandleRMD, true },
        { "MDTM", &TFtpServer::HandleMDTM, false },
        { "MODE", &TFtpServer::HandleMODE, true },
        { "OVER", &TFtpServer::HandleOVER, false },
    };
    for (const Row& row : rows)
        RegisterCommand(row.keyword, row.handler, row.loginRequired);
}

void TFtpServer::RegisterCommand(const std::string& keyword, TFtpCommandHandler handler, bool loginRequired)
{
    if (static_cast<int>(commandTable_.size()) >= limits::CommandTableSize)
        throw FtpServerException("Too many command");
    commandTable_.push_back({ keyword, handler, loginRequired });
}

// --- Listening and the registry ----------------------------------------------

void TFtpServer::Start()
{
    if (Listening())
        return;
    serverSocket_->SetPort(Port);
    serverSocket_->SetProto("tcp");
    serverSocket_->SetAddr(Addr);
    serverSocket_->OnSessionAvailable = [this](TCustomAsyncSocket&, quint16 error) { AcceptSession(error); };
    serverSocket_->OnChangeState
        = [this](TCustomAsyncSocket&, TSocketState, TSocketState now) { ServerStateChanged(now); };
    serverSocket_->SetComponentOptions(soNoReceiveLoop);
    serverSocket_->Listen();
}

void TFtpServer::Stop()
{
    serverSocket_->Close();
}

bool TFtpServer::Listening() const
{
    return serverSocket_ && serverSocket_->State() == ssListening;
}

std::string TFtpServer::ListenAddr() const
{
    return Listening() ? serverSocket_->GetXAddr() : std::string();
}

std::string TFtpServer::ListenPort() const
{
    return Listening() ? serverSocket_->GetXPort() : std::string();
}

TFtpCtrlSocket* TFtpServer::Client(int index) const
{
    if (index < 0 || index >= ClientCount())
        return nullptr;
    return connections_[static_cast<std::size_t>(index)];
}

void TFtpServer::CloseAllClients()
{
    // Each close posts the connection's free request; the objects go later.
    while (!connections_.empty()) {
        TFtpCtrlSocket* client = connections_.front();
        client->Close();
        Unregister(*client);
    }
}

void TFtpServer::Unregister(TFtpCtrlSocket& Client)
{
    connections_.erase(std::remove(connections_.begin(), connections_.end(), &Client), connections_.end());
}

void TFtpServer::ServerStateChanged(TSocketState NewState)
{
    if (destroying_)
        return;
    if (NewState == ssListening)
        TriggerStart();
    else if (NewState == ssClosed)
        TriggerStop();
}

void TFtpServer::AcceptSession(quint16 Error)
{
    if (Error != 0)
        throw FtpServerException("Session available error #" + std::to_string(Error));

    // A connection that cannot be taken (reset by the peer, no descriptors
    // left) creates nothing; the server simply keeps listening.
    const sockapi::Handle handle = serverSocket_->Accept();
    if (handle == sockapi::InvalidHandle)
        return;

    ++clientCounter_;
    clients_.push_back(ConnectionClass());
    TFtpCtrlSocket& client = *clients_.back();
    connections_.push_back(&client);
    const QString number = QString::number(clientCounter_);
    client.setObjectName(QStringLiteral("ClientSocket") + number);
    client.DataSocket->setObjectName(QStringLiteral("DataSocket") + number);
    client.Banner = Banner;
    client.PathRules = PathRules;
    try {
        client.SetHSocket(handle);
    } catch (const std::exception&) {
        sockapi::Close(handle);
        Unregister(client);
        clients_.pop_back();
        return;
    }
    client.OnCommand = [this](TFtpCtrlSocket& sender, std::string_view line) { ProcessCommandLine(sender, line); };
    client.OnSessionClosed = [this](TCustomAsyncSocket& sender, quint16) {
        ClientClosed(static_cast<TFtpCtrlSocket&>(sender));
    };

    QPointer<TFtpCtrlSocket> guard(&client);
    try {
        TriggerClientConnect(client, 0);
    } catch (const std::exception& e) {
        // An owner that fails on one visitor costs that visitor, not the listener.
        qWarning("OnClientConnect failed: %s", e.what());
        if (guard)
            guard->Close();
        return;
    }
    const bool registered = guard && std::find(connections_.begin(), connections_.end(), guard.data())
        != connections_.end();
    if (!registered || client.State() != ssConnected)
        return; // the owner closed it
    if (MaxClients > 0 && ClientCount() > MaxClients) {
        client.Banner = "421 Too many users connected.";
        client.SendGreeting();
        client.Close();
    } else {
        client.SendGreeting();
    }
}

void TFtpServer::ClientClosed(TFtpCtrlSocket& Client)
{
    // Never freed inside its own notification.
    PostRequest(Request::FreeClient, Client);
}

void TFtpServer::ClientAllSent(TFtpCtrlSocket& Client)
{
    if (Client.CloseWhenSent) {
        Client.CloseWhenSent = false;
        PostRequest(Request::CloseWhenSent, Client);
    }
}

void TFtpServer::FreeClient(TFtpCtrlSocket& Client)
{
    auto owned = std::find_if(clients_.begin(), clients_.end(), [&](const auto& p) { return p.get() == &Client; });
    if (owned == clients_.end())
        return;
    std::unique_ptr<TFtpCtrlSocket> doomed = std::move(*owned);
    clients_.erase(owned);
    Unregister(Client);
    try {
        TriggerClientDisconnect(Client, 0);
    } catch (const std::exception& e) {
        qWarning("OnClientDisconnect failed: %s", e.what());
    }
    // `doomed` frees the connection here, whatever the handler did.
}

// --- Deferred requests ---------------------------------------------------------

void TFtpServer::PostRequest(Request kind, TCustomAsyncSocket& target, int countdown)
{
    QCoreApplication::postEvent(this, new ServerRequestEvent(static_cast<int>(kind), &target, countdown));
}

void TFtpServer::customEvent(QEvent* event)
{
    if (event->type() != ServerRequestType)
        return;
    auto* request = static_cast<ServerRequestEvent*>(event);
    TCustomAsyncSocket* target = request->target.data();
    if (!target || target->ConnectionSerial() != request->serial)
        return; // its object, or the connection it was for, is gone
    switch (static_cast<Request>(request->kind)) {
    case Request::CloseWhenSent: {
        auto* client = static_cast<TFtpCtrlSocket*>(target);
        if (client->AllSent()) {
            client->Close();
        } else {
            // Told when the last reply has left; replies that leave at once
            // need no such notice, so it is asked for only here.
            client->CloseWhenSent = true;
            client->OnDataSent = [this](TCustomAsyncSocket& sender, quint16) {
                ClientAllSent(static_cast<TFtpCtrlSocket&>(sender));
            };
        }
        break;
    }
    case Request::FreeClient:
        FreeClient(*static_cast<TFtpCtrlSocket*>(target));
        break;
    case Request::AbortData:
        target->ShutDown(sockapi::ShutdownHow::Both);
        target->Close();
        break;
    case Request::CloseData:
        if (request->countdown > 0)
            QCoreApplication::postEvent(
                this, new ServerRequestEvent(request->kind, target, request->countdown - 1));
        else
            target->Close();
        break;
    }
}

// --- Dispatch and replies ------------------------------------------------------

void TFtpServer::ProcessCommandLine(TFtpCtrlSocket& Client, std::string_view line)
{
    try {
        bool tooLong = false;
        const std::string cleaned = CleanTelnet(line, limits::FtpStringMax, &tooLong);
        // Security: a line longer than a command may be is refused whole. Cut
        // short, it could name another file than the one the visitor meant.
        if (tooLong) {
            ReplyToClient(Client, "500 Command too long");
            return;
        }
        const CommandParts parts = SplitCommand(cleaned);
        TFtpString Keyword(parts.keyword);
        TFtpString Params(parts.params);
        TFtpString Answer;

        TriggerClientCommand(Client, Keyword, Params, Answer);
        if (!Answer.empty()) {
            ReplyToClient(Client, Answer);
            return;
        }
        if (Keyword.empty()) {
            ReplyToClient(Client, "500 '" + Params.str() + "': command not understood.");
            return;
        }
        for (const TFtpSrvCommandTableItem& item : commandTable_) {
            if (item.Keyword != Keyword.str())
                continue;
            if (item.LoginRequired && Client.FtpState != ftpcReady)
                Answer = NotLoggedIn;
            else
                (this->*item.Handler)(Client, Keyword, Params, Answer);
            ReplyToClient(Client, Answer);
            return;
        }
        ReplyToClient(Client, "500 '" + Keyword.str() + "': command not understood.");
    } catch (const std::exception& e) {
        ReplyToClient(Client, std::string("501 ") + e.what());
    }
}

void TFtpServer::ReplyToClient(TFtpCtrlSocket& Client, TFtpString Answer)
{
    try {
        TriggerAnswerToClient(Client, Answer);
        Client.SendLine(Answer);
    } catch (const std::exception&) {
        // The connection is gone; the reply is lost with it.
    }
}

// --- Triggers ------------------------------------------------------------------

void TFtpServer::TriggerStart()
{
    if (OnStart)
        OnStart(*this);
}

void TFtpServer::TriggerStop()
{
    if (OnStop)
        OnStop(*this);
}

void TFtpServer::TriggerAuthenticate(TFtpCtrlSocket& Client, const TFtpString& UserName,
                                     const TFtpString& Password, bool& Authenticated)
{
    if (OnAuthenticate)
        OnAuthenticate(*this, Client, UserName, Password, Authenticated);
}

void TFtpServer::TriggerChangeDirectory(TFtpCtrlSocket& Client, const std::string& Directory, bool& Allowed)
{
    if (OnChangeDirectory)
        OnChangeDirectory(*this, Client, Directory, Allowed);
}

void TFtpServer::TriggerMakeDirectory(TFtpCtrlSocket& Client, const std::string& Directory, bool& Allowed)
{
    if (OnMakeDirectory)
        OnMakeDirectory(*this, Client, Directory, Allowed);
}

void TFtpServer::TriggerBuildDirectory(TFtpCtrlSocket& Client, TFtpString& Directory, bool Detailed)
{
    if (OnBuildDirectory)
        OnBuildDirectory(*this, Client, Directory, Detailed);
}

void TFtpServer::TriggerAlterDirectory(TFtpCtrlSocket& Client, TFtpString& Directory, bool Detailed)
{
    if (OnAlterDirectory)
        OnAlterDirectory(*this, Client, Directory, Detailed);
}

void TFtpServer::TriggerStorSessionConnected(TFtpCtrlSocket& Client, TAsyncSocket& Data, quint16 Error)
{
    if (OnStorSessionConnected)
        OnStorSessionConnected(*this, Client, Data, Error);
}

void TFtpServer::TriggerStorSessionClosed(TFtpCtrlSocket& Client, TAsyncSocket& Data, quint16 Error)
{
    if (OnStorSessionClosed)
        OnStorSessionClosed(*this, Client, Data, Error);
}

void TFtpServer::TriggerRetrSessionConnected(TFtpCtrlSocket& Client, TAsyncSocket& Data, quint16 Error)
{
    if (OnRetrSessionConnected)
        OnRetrSessionConnected(*this, Client, Data, Error);
}

void TFtpServer::TriggerRetrSessionClosed(TFtpCtrlSocket& Client, TAsyncSocket& Data, quint16 Error)
{
    if (OnRetrSessionClosed)
        OnRetrSessionClosed(*this, Client, Data, Error);
}

void TFtpServer::TriggerRetrDataSent(TFtpCtrlSocket& Client, TAsyncSocket& Data, quint16 Error)
{
    if (OnRetrDataSent)
        OnRetrDataSent(*this, Client, Data, Error);
}

void TFtpServer::TriggerStorDataAvailable(TFtpCtrlSocket& Client, TAsyncSocket& Data, const char* Buf, int Len,
                                          quint16 Error)
{
    if (OnStorDataAvailable)
        OnStorDataAvailable(*this, Client, Data, Buf, Len, Error);
}

void TFtpServer::TriggerValidatePut(TFtpCtrlSocket& Client, std::string& FilePath, bool& Allowed)
{
    if (OnValidatePut)
        OnValidatePut(*this, Client, FilePath, Allowed);
}

void TFtpServer::TriggerValidateGet(TFtpCtrlSocket& Client, std::string& FilePath, bool& Allowed)
{
    if (OnValidateGet)
        OnValidateGet(*this, Client, FilePath, Allowed);
}

void TFtpServer::TriggerValidateDele(TFtpCtrlSocket& Client, std::string& FilePath, bool& Allowed)
{
    if (OnValidateDele)
        OnValidateDele(*this, Client, FilePath, Allowed);
}

void TFtpServer::TriggerValidateRmd(TFtpCtrlSocket& Client, std::string& FilePath, bool& Allowed)
{
    if (OnValidateRmd)
        OnValidateRmd(*this, Client, FilePath, Allowed);
}

void TFtpServer::TriggerValidateRnFr(TFtpCtrlSocket& Client, std::string& FilePath, bool& Allowed)
{
    if (OnValidateRnFr)
        OnValidateRnFr(*this, Client, FilePath, Allowed);
}

void TFtpServer::TriggerValidateRnTo(TFtpCtrlSocket& Client, std::string& FilePath, bool& Allowed)
{
    if (OnValidateRnTo)
        OnValidateRnTo(*this, Client, FilePath, Allowed);
}

void TFtpServer::TriggerAnswerToClient(TFtpCtrlSocket& Client, TFtpString& Answer)
{
    if (OnAnswerToClient)
        OnAnswerToClient(*this, Client, Answer);
}

void TFtpServer::TriggerClientConnect(TFtpCtrlSocket& Client, quint16 Error)
{
    if (OnClientConnect)
        OnClientConnect(*this, Client, Error);
}

void TFtpServer::TriggerClientDisconnect(TFtpCtrlSocket& Client, quint16 Error)
{
    if (OnClientDisconnect)
        OnClientDisconnect(*this, Client, Error);
}

void TFtpServer::TriggerClientCommand(TFtpCtrlSocket& Client, TFtpString& Keyword, TFtpString& Params,
                                      TFtpString& Answer)
{
    if (OnClientCommand)
        OnClientCommand(*this, Client, Keyword, Params, Answer);
}

} // namespace quill
