// One visitor's control connection, and the record in which the engine keeps
// everything it knows about that visitor.
#pragma once

#include "AsyncSocket.h"
#include "FtpTypes.h"
#include "LineAssembler.h"
#include "PathRules.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quill {

class EFtpCtrlSocketException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TFtpCtrlSocket : public TCustomAsyncSocket {
public:
    // Receives every complete line, without its line end.
    using TCommandEvent = std::function<void(TFtpCtrlSocket& Sender, std::string_view Line)>;

    explicit TFtpCtrlSocket(QObject* owner = nullptr);
    ~TFtpCtrlSocket() override;

    // --- Control connection
    int RcvSize() const { return lines_.Size(); }
    // Raises EFtpCtrlSocketException while part of a line is held.
    void SetRcvSize(int size);
    int RcvLength() const { return lines_.Length(); }
    std::string Banner = "220-Quillshare FTP Server ready";
    bool CloseWhenSent = false;
    std::string SavedPeerAddr;
    TCommandEvent OnCommand;
    bool Busy = false; // free for the owner
    int UserData = 0;  // free for the owner

    // Sends the banner and starts waiting for USER.
    virtual void SendGreeting();
    // Sends one line followed by CR LF.
    void SendLine(std::string_view text);
    void SetHSocket(sockapi::Handle handle) override;
    // The peer's address, still known after the connection closed.
    std::string GetPeerAddr() override { return SavedPeerAddr; }

    // --- Login
    TFtpCtrlState FtpState = ftpcInvalid;
    std::string UserName;
    std::string PassWord;

    // --- Navigation
    PathStyle PathRules = HostPathStyle();
    std::string HomeDir;
    std::string CurrentDir; // local form, ends with the separator; empty before login
    bool AcceptUNC = false;
    // Makes `name` the current folder by the path rules; raises EFtpPathError
    // and leaves CurrentDir unchanged when the name is refused.
    void ChangeDir(const std::string& name);

    // --- Command sequence
    TFtpCmdKind CurrentCommand = ckPORT;

    // --- Data connection
    std::unique_ptr<TAsyncSocket> DataSocket;

protected:
    bool TriggerDataAvailable(quint16 Error) override;
    void TriggerSessionConnected(quint16 Error) override;
    virtual void TriggerCommand(std::string_view line);

private:
    LineAssembler lines_;
};

} // namespace quill
