#include "FtpCtrlSocket.h"

#include "Limits.h"

#include <algorithm>

namespace quill {

TFtpCtrlSocket::TFtpCtrlSocket(QObject* owner)
    : TCustomAsyncSocket(owner)
    , DataSocket(std::make_unique<TAsyncSocket>())
{
    DataSocket->setObjectName(QStringLiteral("DataSocket"));
    // Commands and replies are a conversation: a reply must not wait for the
    // acknowledgement of the one before it.
    SetComponentOptions(ComponentOptions() | soTcpNoDelay);
}

// The data socket goes before the stream it may be feeding; neither raises
// an event now, and an open file is closed with its connection.
TFtpCtrlSocket::~TFtpCtrlSocket()
{
    DataSocket.reset();
    openedStream_.reset();
}

void TFtpCtrlSocket::SetRcvSize(int size)
{
    if (lines_.Length() != 0)
        throw EFtpCtrlSocketException("Data in buffer, can't change size");
    lines_.SetSize(size);
}

void TFtpCtrlSocket::SendGreeting()
{
    FtpState = ftpcWaitingUserCode;
    SendLine(Banner);
}

void TFtpCtrlSocket::SendLine(std::string_view text)
{
    std::string line;
    line.reserve(text.size() + 2);
    line.append(text).append("\r\n");
    Send(line);
}

void TFtpCtrlSocket::SetHSocket(sockapi::Handle handle)
{
    heldForReplies_ = false;
    TCustomAsyncSocket::SetHSocket(handle);
    SavedPeerAddr = TCustomAsyncSocket::GetPeerAddr();
}

void TFtpCtrlSocket::TriggerSessionConnected(quint16 Error)
{
    SavedPeerAddr = TCustomAsyncSocket::GetPeerAddr();
    TCustomAsyncSocket::TriggerSessionConnected(Error);
}

void TFtpCtrlSocket::ChangeDir(const std::string& name)
{
    std::string next = quill::ChangeDir(PathRules, CurrentDir, name, AcceptUNC);
    if (Confined && next != CurrentDir) {
        // Security: a confined visitor's folder is kept without "." and ".."
        // and must lie inside the confinement folder.
        next = CollapseDots(PathRules, next);
        if (!IsWithinFolder(PathRules, ConfineDir, next))
            throw EFtpPathError("Permission denied");
    }
    CurrentDir = std::move(next);
}

std::vector<char>& TFtpCtrlSocket::TransferBlock(int size)
{
    const std::size_t wanted = static_cast<std::size_t>(std::max(size, 1));
    if (transferBlock_.size() != wanted)
        transferBlock_.resize(wanted);
    return transferBlock_;
}

void TFtpCtrlSocket::AdoptDataStream(std::unique_ptr<TStream> stream)
{
    openedStream_ = std::move(stream);
    DataStream = openedStream_.get();
    DataStreamOpened = DataStream != nullptr;
}

void TFtpCtrlSocket::ReleaseDataStream()
{
    openedStream_.reset();
    DataStream = nullptr;
    DataStreamOpened = false;
}

bool TFtpCtrlSocket::TriggerDataAvailable(quint16)
{
    const int count = Receive(lines_.FreeSpace(), lines_.FreeLength());
    if (count <= 0)
        return true;
    // Lines already received are not acted on once the connection is closed.
    lines_.Commit(count, [this](std::string_view line) {
        TriggerCommand(line);
        return State() == ssConnected;
    });
    // Security: a visitor who sends commands and never reads the replies
    // would have them pile up here without end. Its commands wait with the
    // system instead, until the replies have left.
    if (State() == ssConnected && QueuedBytes() > limits::ReplyBacklogBytes) {
        heldForReplies_ = true;
        PauseReading(true);
    }
    return true;
}

void TFtpCtrlSocket::TriggerDataSent(quint16 Error)
{
    if (heldForReplies_) {
        heldForReplies_ = false;
        PauseReading(false);
    }
    TCustomAsyncSocket::TriggerDataSent(Error);
}

void TFtpCtrlSocket::TriggerCommand(std::string_view line)
{
    if (OnCommand)
        OnCommand(*this, line);
}

} // namespace quill
