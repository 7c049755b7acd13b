// One visitor's control connection, and the record in which the engine keeps
// everything it knows about that visitor.
#pragma once

#include "AsyncSocket.h"
#include "FtpTypes.h"
#include "LineAssembler.h"
#include "PathRules.h"
#include "Stream.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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
    // The folder this visitor may not leave, set at login when the server
    // confines visitors; empty otherwise.
    std::string ConfineDir;
    bool Confined = false;
    // Makes `name` the current folder by the path rules; raises EFtpPathError
    // and leaves CurrentDir unchanged when the name is refused.
    void ChangeDir(const std::string& name);

    // --- Command sequence
    TFtpCmdKind CurrentCommand = ckPORT;
    std::string RenameFrom; // local path of the last accepted RNFR
    std::string RenameTo;   // local path of the last RNTO that reached the rename

    // --- Data connection
    std::unique_ptr<TAsyncSocket> DataSocket;
    std::string PeerDataAddr; // from the last PORT
    std::string PeerDataPort; // from the last PORT; "ftp-data" after every data connection
    bool PassiveRequested = false; // PASV accepted: the next transfer waits on the passive port
    bool PassivePending = false;   // a transfer command waits for the passive connection
    bool PassiveAccepted = false;  // the passive connection came before the transfer command
    qint64 RestartOffset = 0;      // from REST (or the file size for APPE); 0 after every data connection

    // --- Transfer
    std::string FileArg;  // the file name as sent, in local separators
    std::string FilePath; // full local path of the transfer; empty for listings
    // What the transfer reads or writes. A stream the owner puts here stays
    // the owner's; one the engine opened (DataStreamOpened) is the engine's
    // and goes when the data connection closes, or with this connection.
    TStream* DataStream = nullptr;
    bool DataStreamOpened = false;
    void AdoptDataStream(std::unique_ptr<TStream> stream);
    // Frees the engine's stream, if any, and forgets whatever DataStream held.
    void ReleaseDataStream();
    std::string TransferStatus; // "Transfer Ok", or why the transfer was aborted
    bool TransferAborted = false;
    bool EndOfData = false; // the send path reached the end and asked once for the close
    // The block buffer of a transfer, apart from the command line's buffer:
    // made when a transfer needs it, given back when its data connection closes.
    std::vector<char>& TransferBlock(int size);
    void ReleaseTransferBlock() { std::vector<char>().swap(transferBlock_); }

protected:
    bool TriggerDataAvailable(quint16 Error) override;
    void TriggerDataSent(quint16 Error) override;
    void TriggerSessionConnected(quint16 Error) override;
    virtual void TriggerCommand(std::string_view line);

private:
    LineAssembler lines_;
    std::unique_ptr<TStream> openedStream_;
    std::vector<char> transferBlock_;
    bool heldForReplies_ = false; // commands not read until the replies have left
};

} // namespace quill
