// The asynchronous socket layer: non-blocking TCP sockets whose readiness
// comes from the event loop of the thread that made them. Nothing here ever
// waits on the network. Notifications are std::function events fired through
// virtual Trigger... operations so a derived class can take them over.
//
// Guarantees the engine relies on:
//  - Send queues and returns at once; OnDataSent fires once the queue has
//    drained, always later from the event loop, never inside Send; that is
//    after a Send made while OnDataSent was set, or one the system did not
//    take whole (a socket that sets it later still hears of bytes that were
//    waiting; one whose bytes all left at once is not told). Within
//    one write readiness it may fire again, as long as each Send made from
//    it was taken whole by the system (bounded by limits::WriteBurstBytes).
//  - One data-available notification per readiness; bytes a handler does
//    not read are offered again at the next readiness, never lost.
//  - Close fires OnSessionClosed once, synchronously, unless the object is
//    being destroyed. A peer close is reported after all its data was offered.
//  - An exception that escapes an event handler is caught here and aborts
//    that socket; it never unwinds through the event loop.
#pragma once

#include "SocketApi.h"

#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace quill {

enum TSocketState { ssInvalid, ssOpened, ssBound, ssConnecting, ssConnected, ssAccepting, ssListening, ssClosed };

// Component options; the layer always delivers one notification per
// readiness, which is what soNoReceiveLoop asks for. soTcpNoDelay sends
// every write at once instead of letting the system gather small writes:
// right for a conversation of short lines, whose next line waits for the
// answer, and wrong for a stream of blocks, which it splits into more packets.
enum TSocketOption { soNoReceiveLoop = 1, soTcpNoDelay = 2 };

enum TSocketLingerOnOff { loLingerOn, loLingerOff, loLingerNoSet };

class TCustomAsyncSocket : public QObject {
public:
    // Sender and the system's error code (0 when all went well).
    using TSessionEvent = std::function<void(TCustomAsyncSocket& Sender, quint16 Error)>;
    using TChangeStateEvent
        = std::function<void(TCustomAsyncSocket& Sender, TSocketState OldState, TSocketState NewState)>;

    explicit TCustomAsyncSocket(QObject* owner = nullptr);
    ~TCustomAsyncSocket() override;
    TCustomAsyncSocket(const TCustomAsyncSocket&) = delete;
    TCustomAsyncSocket& operator=(const TCustomAsyncSocket&) = delete;

    // --- Settings: accepted only while the socket holds no handle; otherwise
    // ESocketException. Close puts them back to their defaults.
    const std::string& Addr() const { return addr_; }
    void SetAddr(const std::string& value);
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& value); // decimal or a service name
    const std::string& Proto() const { return proto_; }
    void SetProto(const std::string& value); // only "tcp"
    const std::string& LocalAddr() const { return localAddr_; }
    void SetLocalAddr(const std::string& value);
    const std::string& LocalPort() const { return localPort_; }
    void SetLocalPort(const std::string& value);
    int ComponentOptions() const { return options_; }
    void SetComponentOptions(int value) { options_ = value; }
    TSocketLingerOnOff LingerOnOff() const { return lingerOnOff_; }
    void SetLingerOnOff(TSocketLingerOnOff value) { lingerOnOff_ = value; }
    int LingerTimeout() const { return lingerTimeout_; }
    void SetLingerTimeout(int value) { lingerTimeout_ = value; }

    // --- Operations; failures raise ESocketException naming the call.
    // Listens on Addr:Port; a waiting connection fires OnSessionAvailable.
    void Listen();
    // Starts connecting to Addr:Port (bound to LocalAddr:LocalPort when set);
    // the outcome arrives as OnSessionConnected, a failure followed by a close.
    void Connect();
    // Takes a waiting connection off a listening socket; InvalidHandle when
    // none could be taken (the reason is ignored: the listener goes on).
    sockapi::Handle Accept();
    // Attaches a connected handle (from Accept); the socket is then connected
    // without firing OnSessionConnected.
    virtual void SetHSocket(sockapi::Handle handle);
    sockapi::Handle HSocket() const { return handle_; }

    void Send(std::string_view data);
    bool AllSent() const { return outPos_ >= out_.size(); }
    // Bytes given to Send that the system has not taken yet.
    std::size_t QueuedBytes() const { return out_.size() - outPos_; }
    // Reads up to len bytes: the count, or 0 or less when nothing was read.
    int Receive(char* buf, int len);
    void Close();
    // Closes at once, discarding queued output (the peer sees a reset).
    void Abort();
    void ShutDown(sockapi::ShutdownHow how);
    // Stops (or resumes) taking notice of input: waiting bytes stay with the
    // system until reading resumes, so none is discarded meanwhile.
    void PauseReading(bool paused);
    // Changes each time the socket takes a new handle: a request made for
    // one connection can tell whether the socket still carries it.
    quint64 ConnectionSerial() const { return serial_; }

    virtual std::string GetPeerAddr();
    std::string GetPeerPort();
    std::string GetXAddr(); // local address
    std::string GetXPort(); // local port

    TSocketState State() const { return state_; }

    // --- Events
    TSessionEvent OnSessionAvailable;
    TSessionEvent OnSessionConnected;
    TSessionEvent OnSessionClosed;
    TSessionEvent OnDataAvailable;
    TSessionEvent OnDataSent;
    TChangeStateEvent OnChangeState;

protected:
    // Returns true when the data was taken care of; otherwise the layer reads
    // and discards what is waiting.
    virtual bool TriggerDataAvailable(quint16 Error);
    virtual void TriggerSessionAvailable(quint16 Error);
    virtual void TriggerSessionConnected(quint16 Error);
    virtual void TriggerSessionClosed(quint16 Error);
    virtual void TriggerDataSent(quint16 Error);
    virtual void TriggerChangeState(TSocketState OldState, TSocketState NewState);

    bool Destroying() const { return destroying_; }

private:
    void RequireClosed(const char* what) const;
    void AttachHandle(sockapi::Handle handle, TSocketState state);
    void ChangeState(TSocketState state);
    void ReadReady();
    void WriteReady();
    bool Flush(); // false when the connection broke
    void CloseWithError(int error);
    void ResetSettings();
    void UpdateWriteNotifier();
    void WatchRead(bool on);
    void WatchWrite(bool on);
    // Runs an event handler; an escaping exception aborts this socket.
    // Returns false when the socket object was destroyed meanwhile.
    template <typename F> bool Guarded(F&& handler);

    std::string addr_, port_, proto_ = "tcp", localAddr_, localPort_;
    int options_ = 0;
    TSocketLingerOnOff lingerOnOff_ = loLingerNoSet;
    int lingerTimeout_ = 0;

    sockapi::Handle handle_ = sockapi::InvalidHandle;
    TSocketState state_ = ssClosed;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    bool writeWatched_ = false; // what WatchWrite last asked for

    std::string out_; // queued output; bytes before outPos_ are sent
    std::size_t outPos_ = 0;
    bool dataSentOwed_ = false; // OnDataSent is due when the queue drains
    std::size_t burstBytes_ = 0; // handed to the system in this write readiness
    bool receiveShut_ = false;
    bool readingPaused_ = false;
    quint64 serial_ = 0;
    bool eofSeen_ = false; // set by Receive during one readiness
    int readError_ = 0;
    bool receiveCalled_ = false;
    bool destroying_ = false;
};

class TAsyncSocket : public TCustomAsyncSocket {
public:
    using TCustomAsyncSocket::TCustomAsyncSocket;
};

} // namespace quill
