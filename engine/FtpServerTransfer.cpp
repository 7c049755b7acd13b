// Transfers: RETR STOR APPE, and the two halves of a data connection that
// carry them. The send path (RETR, LIST, NLST) reads one block, hands it to
// the data socket, and reads the next only once it has been sent; the store
// path writes each block as it arrives. Ends and aborts of a transfer are
// requests posted to the server: a data socket is never closed inside one of
// its own notifications.
#include "FtpServer.h"
#include "Limits.h"

#include "FileSystem.h"

namespace quill {

namespace {
    std::string ErrorNumber(quint16 error) { return std::to_string(error); }
}

void TFtpServer::ForgetStaleStream(TFtpCtrlSocket& Client)
{
    // A transfer still running keeps its stream; its own closed step frees it.
    if (Client.DataSocket->State() != ssConnected)
        Client.ReleaseDataStream();
}

// --- Commands ----------------------------------------------------------------------

void TFtpServer::HandleRETR(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    Client.CurrentCommand = ckRETR;
    ForgetStaleStream(Client);
    try {
        Client.FileArg = ToLocalSeparators(PathRules, Params);
        std::string path = ResolveClientPath(Client, Client.FileArg);
        bool Allowed = true;
        TriggerValidateGet(Client, path, Allowed);
        if (!Allowed) {
            Answer = "500 Cannot RETR.";
            return;
        }
        Client.FilePath = path;
        Answer = "150 Opening data connection for " + Params.str() + ".";
        StartDataConnection(Client, DataPath::Send);
    } catch (const std::exception& e) {
        Answer = std::string("501 Cannot RETR. ") + e.what();
    }
}

void TFtpServer::HandleSTOR(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    Client.CurrentCommand = ckSTOR;
    try {
        if (!PrepareStore(Client, Params, DataPath::Store)) {
            Answer = "501 Permission Denied";
            return;
        }
        Answer = "150 Opening data connection for " + Params.str() + ".";
    } catch (const std::exception& e) {
        Answer = std::string("501 Cannot STOR. ") + e.what();
    }
}

void TFtpServer::HandleAPPE(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    Client.CurrentCommand = ckAPPE;
    try {
        if (!PrepareStore(Client, Params, DataPath::Append)) {
            Answer = "500 Cannot APPE.";
            return;
        }
        // Appending starts at the end of the file, whatever REST said.
        const std::optional<FileEntry> existing = StatPath(Client.FilePath);
        Client.RestartOffset = existing && !existing->directory ? existing->size : 0;
        Answer = "150 APPE supported.  Ready to append file \"" + Params.str() + "\" at offset "
            + std::to_string(Client.RestartOffset) + ".";
    } catch (const std::exception&) {
        Answer = "550 APPE failed.";
    }
}

bool TFtpServer::PrepareStore(TFtpCtrlSocket& Client, const TFtpString& Params, DataPath path)
{
    Client.FileArg = ToLocalSeparators(PathRules, Params);
    ForgetStaleStream(Client);
    Client.TransferAborted = false;
    Client.TransferStatus = "Transfer Ok";
    std::string target = ResolveClientPath(Client, Client.FileArg, false);
    bool Allowed = true;
    TriggerValidatePut(Client, target, Allowed);
    if (!Allowed)
        return false;
    Client.FilePath = target;
    StartDataConnection(Client, path);
    return true;
}

// --- Send path ---------------------------------------------------------------------

void TFtpServer::SendConnected(TFtpCtrlSocket& Client, quint16 Error)
{
    Client.PassiveRequested = false;
    try {
        TriggerRetrSessionConnected(Client, *Client.DataSocket, Error);
        if (Error != 0)
            throw std::runtime_error("Client data socket connection error: " + ErrorNumber(Error));
        if (!Client.DataStreamOpened && !Client.FilePath.empty() && !Client.DataStream) {
            std::unique_ptr<TStream> file = OpenFile(Client.FilePath, TFileOpenMode::Read);
            if (Client.RestartOffset > 0)
                file->Seek(Client.RestartOffset);
            Client.AdoptDataStream(std::move(file));
        }
    } catch (const std::exception& e) {
        AbortTransfer(Client, e.what());
        return;
    }
    SendNextBlock(Client);
}

void TFtpServer::SendNextBlock(TFtpCtrlSocket& Client)
{
    try {
        std::vector<char>& block = Client.TransferBlock(TransferBlockSize);
        const qint64 count
            = Client.DataStream ? Client.DataStream->Read(block.data(), static_cast<qint64>(block.size())) : 0;
        if (count > 0) {
            Client.DataSocket->Send(std::string_view(block.data(), static_cast<std::size_t>(count)));
        } else if (!Client.EndOfData) {
            Client.EndOfData = true;
            PostRequest(Request::CloseData, *Client.DataSocket);
        }
    } catch (const std::exception& e) {
        AbortTransfer(Client, e.what());
    }
}

void TFtpServer::SendDataSent(TFtpCtrlSocket& Client, quint16 Error)
{
    if (Client.TransferAborted)
        return;
    try {
        TriggerRetrDataSent(Client, *Client.DataSocket, Error);
        if (Error != 0)
            throw std::runtime_error("Send: error #" + ErrorNumber(Error));
    } catch (const std::exception& e) {
        Client.TransferStatus = e.what();
        Client.TransferAborted = true;
        ReplyToClient(Client, "426 Connection closed; " + Client.TransferStatus + ".");
        PostRequest(Request::AbortData, *Client.DataSocket);
        return;
    }
    SendNextBlock(Client);
}

void TFtpServer::SendClosed(TFtpCtrlSocket& Client, quint16 Error)
{
    DataConnectionReset(Client);
    Client.ReleaseTransferBlock();
    if (Client.DataStreamOpened)
        Client.ReleaseDataStream();
    // A connection that ends before the last block was sent is no complete
    // transfer, even when the visitor closed it politely.
    if (!Client.TransferAborted && Error == 0 && !Client.EndOfData) {
        Client.TransferAborted = true;
        Client.TransferStatus = "Data connection closed before the end of the data";
    }
    if (Client.TransferAborted)
        ReplyToClient(Client, "501 Cannot RETR. " + Client.TransferStatus);
    else if (Error != 0)
        ReplyToClient(Client, "501 Cannot RETR. Error #" + ErrorNumber(Error));
    else
        ReplyToClient(Client, "226 File sent ok");
    TriggerRetrSessionClosed(Client, *Client.DataSocket, Error);
}

// --- Store path --------------------------------------------------------------------

void TFtpServer::StoreConnected(TFtpCtrlSocket& Client, quint16 Error)
{
    Client.PassiveRequested = false;
    try {
        TriggerStorSessionConnected(Client, *Client.DataSocket, Error);
    } catch (const std::exception& e) {
        AbortTransfer(Client, e.what());
        return;
    }
    // A store connection that could not be made is answered as a failure
    // when it closes, never as a received file.
    if (Error != 0) {
        Client.TransferAborted = true;
        Client.TransferStatus = "Client data socket connection error: " + ErrorNumber(Error);
    }
}

void TFtpServer::OpenStoreFile(TFtpCtrlSocket& Client, DataPath path)
{
    const std::optional<FileEntry> existing = StatPath(Client.FilePath);
    const bool fileExists = existing && !existing->directory;
    // APPE keeps an existing file; a restarted STOR keeps the bytes before
    // its offset; a plain STOR starts the file afresh.
    const bool keep = fileExists && (path == DataPath::Append || Client.RestartOffset > 0);
    std::unique_ptr<TStream> file
        = OpenFile(Client.FilePath, keep ? TFileOpenMode::Update : TFileOpenMode::Create);
    if (Client.RestartOffset > 0)
        file->Seek(Client.RestartOffset);
    Client.AdoptDataStream(std::move(file));
}

void TFtpServer::StoreReceive(TFtpCtrlSocket& Client, DataPath path, quint16 Error)
{
    // A block that fills the buffer suggests more is waiting: take it in the
    // same readiness, up to a budget, instead of a turn of the loop per block.
    std::vector<char>& block = Client.TransferBlock(TransferBlockSize);
    TAsyncSocket& data = *Client.DataSocket;
    const quint64 serial = data.ConnectionSerial();
    std::size_t taken = 0;
    for (;;) {
        const int count = data.Receive(block.data(), static_cast<int>(block.size()));
        if (count <= 0 || Client.TransferAborted)
            return; // after an abort, what still arrives is read and dropped
        try {
            TriggerStorDataAvailable(Client, data, block.data(), count, Error);
            if (!Client.DataStreamOpened && !Client.FilePath.empty() && !Client.DataStream)
                OpenStoreFile(Client, path);
            if (Client.DataStream)
                Client.DataStream->Write(block.data(), count);
        } catch (const std::exception& e) {
            AbortTransfer(Client, e.what());
            return;
        }
        taken += static_cast<std::size_t>(count);
        if (static_cast<std::size_t>(count) < block.size() || taken >= limits::ReadBurstBytes
            || data.ConnectionSerial() != serial || data.State() != ssConnected)
            return;
    }
}

void TFtpServer::StoreClosed(TFtpCtrlSocket& Client, DataPath path, quint16 Error)
{
    DataConnectionReset(Client);
    Client.ReleaseTransferBlock();
    if (!Client.TransferAborted && Error == 0 && !Client.FilePath.empty()) {
        try {
            // An upload of no bytes still leaves its file (created, or for
            // STOR truncated); a restarted STOR ends where its data ended.
            if (!Client.DataStreamOpened && !Client.DataStream)
                OpenStoreFile(Client, path);
            if (Client.DataStreamOpened && path == DataPath::Store)
                Client.DataStream->Truncate(Client.DataStream->Position());
        } catch (const std::exception& e) {
            Client.TransferAborted = true;
            Client.TransferStatus = e.what();
        }
    }
    if (Client.DataStreamOpened)
        Client.ReleaseDataStream();
    TriggerStorSessionClosed(Client, *Client.DataSocket, Error);
    if (Client.TransferAborted)
        ReplyToClient(Client, "426 Connection closed; " + Client.TransferStatus + ".");
    else if (Error != 0)
        ReplyToClient(Client, "426 Connection closed; transfer aborted. Error #" + ErrorNumber(Error));
    else
        ReplyToClient(Client, "226 File received ok");
}

} // namespace quill
