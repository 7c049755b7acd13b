#include "AsyncSocket.h"

#include "Limits.h"

#include <QPointer>
#include <QtDebug>

#include <cerrno>

namespace quill {

TCustomAsyncSocket::TCustomAsyncSocket(QObject* owner)
    : QObject(owner)
{
}

// The notifiers are made the first time they are needed: a socket that
// never holds a handle (most data sockets of idle visitors) costs none.
void TCustomAsyncSocket::WatchRead(bool on)
{
    if (!readNotifier_) {
        if (!on)
            return;
        readNotifier_ = std::make_unique<QSocketNotifier>(handle_, QSocketNotifier::Read);
        QObject::connect(readNotifier_.get(), &QSocketNotifier::activated, this, [this] { ReadReady(); });
        return;
    }
    if (readNotifier_->socket() != handle_)
        readNotifier_->setSocket(handle_);
    readNotifier_->setEnabled(on);
}

void TCustomAsyncSocket::WatchWrite(bool on)
{
    writeWatched_ = on;
    if (!writeNotifier_) {
        if (!on)
            return;
        writeNotifier_ = std::make_unique<QSocketNotifier>(handle_, QSocketNotifier::Write);
        QObject::connect(writeNotifier_.get(), &QSocketNotifier::activated, this, [this] { WriteReady(); });
        return;
    }
    if (writeNotifier_->socket() != handle_)
        writeNotifier_->setSocket(handle_);
    writeNotifier_->setEnabled(on);
}

TCustomAsyncSocket::~TCustomAsyncSocket()
{
    destroying_ = true;
    CloseWithError(0);
}

template <typename F> bool TCustomAsyncSocket::Guarded(F&& handler)
{
    QPointer<TCustomAsyncSocket> self(this);
    try {
        handler();
    } catch (const std::exception& e) {
        if (!self)
            return false;
        qWarning("socket %s: event handler failed: %s", qPrintable(objectName()), e.what());
        Abort();
    }
    return !self.isNull();
}

// --- Settings ----------------------------------------------------------------

void TCustomAsyncSocket::RequireClosed(const char* what) const
{
    if (handle_ != sockapi::InvalidHandle)
        throw ESocketException(what, "cannot change a setting while the socket is open");
}

void TCustomAsyncSocket::SetAddr(const std::string& value)
{
    RequireClosed("SetAddr");
    addr_ = value;
}

void TCustomAsyncSocket::SetPort(const std::string& value)
{
    RequireClosed("SetPort");
    port_ = value;
}

void TCustomAsyncSocket::SetProto(const std::string& value)
{
    RequireClosed("SetProto");
    if (value != "tcp")
        throw ESocketException("SetProto", "unsupported protocol '" + value + "'");
    proto_ = value;
}

void TCustomAsyncSocket::SetLocalAddr(const std::string& value)
{
    RequireClosed("SetLocalAddr");
    localAddr_ = value;
}

void TCustomAsyncSocket::SetLocalPort(const std::string& value)
{
    RequireClosed("SetLocalPort");
    localPort_ = value;
}

void TCustomAsyncSocket::ResetSettings()
{
    addr_.clear();
    port_.clear();
    proto_ = "tcp";
    localAddr_.clear();
    localPort_.clear();
    lingerOnOff_ = loLingerNoSet;
    lingerTimeout_ = 0;
}

// --- Opening -----------------------------------------------------------------

void TCustomAsyncSocket::AttachHandle(sockapi::Handle handle, TSocketState state)
{
    handle_ = handle;
    ++serial_;
    out_.clear();
    outPos_ = 0;
    dataSentOwed_ = false;
    receiveShut_ = false;
    readingPaused_ = false;
    if (lingerOnOff_ != loLingerNoSet)
        sockapi::SetLinger(handle, lingerOnOff_ == loLingerOn, lingerTimeout_);
    if (state != ssListening && (options_ & soTcpNoDelay) != 0)
        sockapi::SetNoDelay(handle);
    WatchRead(state == ssListening || state == ssConnected);
    WatchWrite(state == ssConnecting);
    ChangeState(state);
}

void TCustomAsyncSocket::Listen()
{
    RequireClosed("Listen");
    AttachHandle(sockapi::OpenListener(addr_, port_, limits::ListenBacklog), ssListening);
}

void TCustomAsyncSocket::Connect()
{
    RequireClosed("Connect");
    AttachHandle(sockapi::StartConnect(addr_, port_, localAddr_, localPort_), ssConnecting);
}

sockapi::Handle TCustomAsyncSocket::Accept()
{
    if (state_ != ssListening)
        throw ESocketException("Accept", "socket is not listening");
    int error = 0;
    return sockapi::AcceptConnection(handle_, error);
}

void TCustomAsyncSocket::SetHSocket(sockapi::Handle handle)
{
    RequireClosed("SetHSocket");
    if (handle == sockapi::InvalidHandle)
        throw ESocketException("SetHSocket", "invalid handle");
    sockapi::PrepareAccepted(handle);
    AttachHandle(handle, ssConnected);
}

void TCustomAsyncSocket::ChangeState(TSocketState state)
{
    const TSocketState old = state_;
    state_ = state;
    if (old != state && !destroying_)
        TriggerChangeState(old, state);
}

// --- Input and output ----------------------------------------------------------

void TCustomAsyncSocket::Send(std::string_view data)
{
    if (state_ != ssConnected)
        throw ESocketException("Send", ENOTCONN);
    if (AllSent()) {
        out_.clear();
        outPos_ = 0;
        // Hand the bytes to the system at once when nothing is queued before
        // them, and queue only what it did not take; a failure shows at the
        // next write readiness, not inside Send.
        const sockapi::IoResult r = sockapi::Send(handle_, data.data(), data.size());
        if (r.error == 0) {
            data.remove_prefix(static_cast<std::size_t>(r.count));
            burstBytes_ += static_cast<std::size_t>(r.count);
        }
    }
    out_.append(data);
    // The drained notice is owed to a handler that listens for it, and to
    // bytes the system did not take yet. A conversation whose lines leave at
    // once and that nobody waits on costs no write watch, and no loop turn.
    if (OnDataSent || !AllSent())
        dataSentOwed_ = true;
    if (dataSentOwed_ && !writeWatched_) // already watched while a transfer streams
        UpdateWriteNotifier();
}

int TCustomAsyncSocket::Receive(char* buf, int len)
{
    receiveCalled_ = true;
    if (handle_ == sockapi::InvalidHandle || len <= 0)
        return -1;
    const sockapi::IoResult r = sockapi::Receive(handle_, buf, static_cast<std::size_t>(len));
    if (r.error == sockapi::WouldBlock)
        return -1;
    if (r.error != 0) {
        readError_ = r.error;
        return -1;
    }
    if (r.count == 0 && !receiveShut_)
        eofSeen_ = true;
    return static_cast<int>(r.count);
}

void TCustomAsyncSocket::ShutDown(sockapi::ShutdownHow how)
{
    if (handle_ == sockapi::InvalidHandle)
        return;
    sockapi::Shutdown(handle_, how);
    if (how != sockapi::ShutdownHow::Send) {
        // Nothing more will be read: stop listening for input, and do not
        // take the end of input that the shutdown causes for a peer close.
        receiveShut_ = true;
        WatchRead(false);
    }
}

void TCustomAsyncSocket::PauseReading(bool paused)
{
    readingPaused_ = paused;
    if (handle_ != sockapi::InvalidHandle && state_ == ssConnected && !receiveShut_)
        WatchRead(!paused);
}

void TCustomAsyncSocket::UpdateWriteNotifier()
{
    if (handle_ != sockapi::InvalidHandle)
        WatchWrite(state_ == ssConnecting || (state_ == ssConnected && dataSentOwed_));
}

bool TCustomAsyncSocket::Flush()
{
    while (outPos_ < out_.size()) {
        const sockapi::IoResult r = sockapi::Send(handle_, out_.data() + outPos_, out_.size() - outPos_);
        if (r.error == sockapi::WouldBlock)
            return true;
        if (r.error != 0) {
            readError_ = r.error;
            return false;
        }
        outPos_ += static_cast<std::size_t>(r.count);
    }
    return true;
}

void TCustomAsyncSocket::ReadReady()
{
    if (state_ == ssListening) {
        Guarded([this] { TriggerSessionAvailable(0); });
        return;
    }
    if (state_ != ssConnected)
        return;
    eofSeen_ = false;
    readError_ = 0;
    receiveCalled_ = false;
    bool handled = false;
    if (!Guarded([&] { handled = TriggerDataAvailable(0); }))
        return;
    if (handle_ == sockapi::InvalidHandle)
        return; // closed by the handler
    if (!handled) {
        char discard[limits::DiscardBlock];
        Receive(discard, sizeof discard);
    }
    if (eofSeen_ || readError_ != 0) {
        // The peer is gone: push out what it may still read, then close.
        const int error = readError_;
        Flush();
        CloseWithError(error);
    }
}

void TCustomAsyncSocket::WriteReady()
{
    if (state_ == ssConnecting) {
        const int error = sockapi::ConnectResult(handle_);
        if (error == 0) {
            ChangeState(ssConnected);
            WatchRead(!readingPaused_);
            UpdateWriteNotifier();
            Guarded([this] { TriggerSessionConnected(0); });
            return;
        }
        WatchWrite(false);
        if (Guarded([&] { TriggerSessionConnected(static_cast<quint16>(error)); }))
            CloseWithError(0);
        return;
    }
    if (state_ != ssConnected)
        return;
    readError_ = 0;
    if (!Flush()) {
        CloseWithError(readError_);
        return;
    }
    if (!AllSent())
        return;
    // The queue has drained. When the handler sends again and the system
    // takes it all, the queue has drained once more: tell the handler again
    // within this readiness, up to a byte budget, rather than after a turn of
    // the event loop. The notifier stays as it is meanwhile, so a transfer
    // does not take it out of the loop's watch list and back for every block.
    burstBytes_ = 0;
    do {
        dataSentOwed_ = false;
        if (!Guarded([this] { TriggerDataSent(0); }))
            return;
        if (handle_ == sockapi::InvalidHandle || state_ != ssConnected)
            return;
    } while (dataSentOwed_ && AllSent() && burstBytes_ < limits::WriteBurstBytes);
    UpdateWriteNotifier();
}

// --- Closing -----------------------------------------------------------------

void TCustomAsyncSocket::Close()
{
    CloseWithError(0);
}

void TCustomAsyncSocket::Abort()
{
    if (handle_ != sockapi::InvalidHandle)
        sockapi::SetLinger(handle_, true, 0);
    CloseWithError(0);
}

void TCustomAsyncSocket::CloseWithError(int error)
{
    if (handle_ == sockapi::InvalidHandle)
        return;
    // Stop watching before the handle is gone (the system may reuse its number).
    if (readNotifier_)
        readNotifier_->setSocket(sockapi::InvalidHandle);
    if (writeNotifier_)
        writeNotifier_->setSocket(sockapi::InvalidHandle);
    writeWatched_ = false;
    if (state_ == ssConnected)
        sockapi::Shutdown(handle_, sockapi::ShutdownHow::Send);
    sockapi::Close(handle_);
    handle_ = sockapi::InvalidHandle;
    out_.clear();
    outPos_ = 0;
    dataSentOwed_ = false;
    ResetSettings();
    ChangeState(ssClosed);
    if (!destroying_)
        Guarded([&] { TriggerSessionClosed(static_cast<quint16>(error)); });
}

// --- Addresses -----------------------------------------------------------------

std::string TCustomAsyncSocket::GetPeerAddr()
{
    std::string addr, port;
    sockapi::PeerAddress(handle_, addr, port);
    return addr;
}

std::string TCustomAsyncSocket::GetPeerPort()
{
    std::string addr, port;
    sockapi::PeerAddress(handle_, addr, port);
    return port;
}

std::string TCustomAsyncSocket::GetXAddr()
{
    std::string addr, port;
    if (!sockapi::LocalAddress(handle_, addr, port))
        throw ESocketException("getsockname", EBADF);
    return addr;
}

std::string TCustomAsyncSocket::GetXPort()
{
    std::string addr, port;
    if (!sockapi::LocalAddress(handle_, addr, port))
        throw ESocketException("getsockname", EBADF);
    return port;
}

// --- Triggers ------------------------------------------------------------------

bool TCustomAsyncSocket::TriggerDataAvailable(quint16 Error)
{
    if (!OnDataAvailable)
        return false;
    const TSessionEvent handler = OnDataAvailable; // a handler may replace itself
    handler(*this, Error);
    return true;
}

void TCustomAsyncSocket::TriggerSessionAvailable(quint16 Error)
{
    if (OnSessionAvailable) {
        const TSessionEvent handler = OnSessionAvailable; // a handler may replace itself
        handler(*this, Error);
    }
}

void TCustomAsyncSocket::TriggerSessionConnected(quint16 Error)
{
    if (OnSessionConnected) {
        const TSessionEvent handler = OnSessionConnected; // a handler may replace itself
        handler(*this, Error);
    }
}

void TCustomAsyncSocket::TriggerSessionClosed(quint16 Error)
{
    if (OnSessionClosed) {
        const TSessionEvent handler = OnSessionClosed; // a handler may replace itself
        handler(*this, Error);
    }
}

void TCustomAsyncSocket::TriggerDataSent(quint16 Error)
{
    if (OnDataSent) {
        const TSessionEvent handler = OnDataSent; // a handler may replace itself
        handler(*this, Error);
    }
}

void TCustomAsyncSocket::TriggerChangeState(TSocketState OldState, TSocketState NewState)
{
    if (OnChangeState)
        OnChangeState(*this, OldState, NewState);
}

} // namespace quill
