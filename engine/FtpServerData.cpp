// Data connections: PORT PASV REST ABOR, and how a transfer's data
// connection is made ready, actively or on the passive port.
//
// Life of one visitor's data side:
//
//   idle --PASV--> listening --transfer command--> waiting --visitor connects--> transferring
//     |                |                                                            ^
//     |                +--visitor connects--> accepted --transfer command-----------+
//     +--transfer command (active)--> connecting --connected-------------------------+
//   transferring --closed step (end, abort, ABOR, PASV, peer close)--> idle
#include "FtpServer.h"

#include "DataArguments.h"

#include <array>
#include <optional>

namespace quill {

namespace {
    // The four numbers of a dotted IPv4 address, or nothing.
    std::optional<std::array<int, 4>> IPv4Bytes(const std::string& addr)
    {
        std::array<int, 4> out {};
        int n = 0;
        std::size_t i = 0;
        for (int& byte : out) {
            if (i >= addr.size() || addr[i] < '0' || addr[i] > '9')
                return std::nullopt;
            byte = 0;
            while (i < addr.size() && addr[i] >= '0' && addr[i] <= '9' && byte <= 255)
                byte = byte * 10 + (addr[i++] - '0');
            if (byte > 255 || (++n < 4 && (i >= addr.size() || addr[i++] != '.')))
                return std::nullopt;
        }
        if (i != addr.size())
            return std::nullopt;
        return out;
    }
}

void TFtpServer::HandlePORT(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    Client.CurrentCommand = ckPORT;
    const std::optional<PortArgument> target = ParsePortArgument(Params);
    // Security: a data connection only ever goes back to the visitor's own
    // address (no "FTP bounce" to a third host). Nothing is recorded from a
    // refused PORT, so a later transfer cannot use half of it.
    if (!target || target->addr != Client.SavedPeerAddr) {
        Answer = "501 Invalid PORT command.";
        return;
    }
    Client.PeerDataAddr = target->addr;
    Client.PeerDataPort = std::to_string(target->port);
    Answer = "200 Port command successful.";
}

void TFtpServer::HandlePASV(TFtpCtrlSocket& Client, TFtpString&, TFtpString&, TFtpString& Answer)
{
    TAsyncSocket& data = *Client.DataSocket;
    try {
        const std::string local = Client.GetXAddr();
        const auto bytes = IPv4Bytes(local);
        if (!bytes)
            throw ESocketException("PASV", "no IPv4 address for the control connection");
        // A transfer still running on the data socket ends here, with its reply.
        data.Close();
        // The passive port listens where the visitor reached us, not on every interface.
        data.SetAddr(local);
        data.SetPort("0");
        data.SetProto("tcp");
        TFtpCtrlSocket* client = &Client;
        data.OnSessionAvailable = [this, client](TCustomAsyncSocket&, quint16) { PassiveAccept(*client); };
        data.OnSessionConnected = nullptr;
        data.OnSessionClosed = nullptr;
        data.OnDataAvailable = nullptr;
        data.SetComponentOptions(soNoReceiveLoop);
        data.Listen();
        const int port = std::stoi(data.GetXPort());
        Answer = "227 Entering Passive Mode (" + std::to_string((*bytes)[0]) + "," + std::to_string((*bytes)[1])
            + "," + std::to_string((*bytes)[2]) + "," + std::to_string((*bytes)[3]) + ","
            + std::to_string(port / 256) + "," + std::to_string(port % 256) + ").";
        Client.PassiveRequested = true;
        Client.PassivePending = false;
        Client.PassiveAccepted = false;
    } catch (const std::exception& e) {
        Answer = std::string("500 PASV exception: '") + e.what() + "'.";
        try {
            data.Close();
        } catch (const std::exception&) {
        }
    }
}

void TFtpServer::HandleREST(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    Client.CurrentCommand = ckREST;
    const std::optional<qint64> offset = ParseRestOffset(Params);
    if (!offset) {
        Client.RestartOffset = 0;
        Answer = "501 Syntax error in parameter: '" + Params.str() + "' is not a valid integer value.";
    } else if (*offset <= 0) {
        Client.RestartOffset = 0;
        Answer = "501 Required byte offset parameter bad or missing.";
    } else {
        Client.RestartOffset = *offset;
        Answer = "350 REST supported. Ready to resume at byte offset " + std::to_string(*offset) + ".";
    }
}

void TFtpServer::HandleABOR(TFtpCtrlSocket& Client, TFtpString&, TFtpString&, TFtpString& Answer)
{
    if (Client.DataSocket->State() == ssConnected) {
        Client.TransferStatus = "ABORT requested by client";
        Client.TransferAborted = true;
        Client.DataSocket->Close(); // the closed step sends the transfer's reply now
    }
    Answer = "225 ABOR command successful.";
}

// --- Setting up a transfer's data connection -------------------------------------

void TFtpServer::InstallHandlers(TFtpCtrlSocket& Client, DataPath path)
{
    TAsyncSocket& data = *Client.DataSocket;
    TFtpCtrlSocket* client = &Client; // the data socket never outlives its connection
    if (path == DataPath::Send) {
        data.OnSessionConnected = [this, client](TCustomAsyncSocket&, quint16 e) { SendConnected(*client, e); };
        data.OnSessionClosed = [this, client](TCustomAsyncSocket&, quint16 e) { SendClosed(*client, e); };
        data.OnDataSent = [this, client](TCustomAsyncSocket&, quint16 e) { SendDataSent(*client, e); };
        data.OnDataAvailable = nullptr;
    } else {
        data.OnSessionConnected = [this, client](TCustomAsyncSocket&, quint16 e) { StoreConnected(*client, e); };
        data.OnSessionClosed
            = [this, client, path](TCustomAsyncSocket&, quint16 e) { StoreClosed(*client, path, e); };
        data.OnDataAvailable
            = [this, client, path](TCustomAsyncSocket&, quint16 e) { StoreReceive(*client, path, e); };
        data.OnDataSent = nullptr;
    }
    data.PauseReading(false);
}

void TFtpServer::RunConnectedStep(TFtpCtrlSocket& Client, DataPath path, quint16 Error)
{
    if (path == DataPath::Send)
        SendConnected(Client, Error);
    else
        StoreConnected(Client, Error);
}

void TFtpServer::StartDataConnection(TFtpCtrlSocket& Client, DataPath path)
{
    Client.TransferAborted = false;
    Client.EndOfData = false;
    Client.TransferStatus = "Transfer Ok";
    TAsyncSocket& data = *Client.DataSocket;

    if (Client.PassiveRequested) {
        InstallHandlers(Client, path);
        if (Client.PassiveAccepted)
            RunConnectedStep(Client, path, 0);
        else
            Client.PassivePending = true;
        return;
    }

    // Active: connect to the address and port of the last PORT.
    if (path == DataPath::Send)
        data.Close();
    data.SetProto("tcp");
    data.SetAddr(Client.PeerDataAddr);
    data.SetPort(Client.PeerDataPort);
    InstallHandlers(Client, path);
    data.SetLingerOnOff(loLingerOff);
    data.SetLingerTimeout(0);
    if (path != DataPath::Append) {
        // From port 20 of the address the visitor reached, where the system allows it.
        data.SetLocalAddr(Client.GetXAddr());
        data.SetLocalPort("ftp-data");
    }
    data.SetComponentOptions(soNoReceiveLoop);
    data.Connect();
}

void TFtpServer::PassiveAccept(TFtpCtrlSocket& Client)
{
    TAsyncSocket& data = *Client.DataSocket;
    const sockapi::Handle handle = data.Accept();
    if (handle == sockapi::InvalidHandle)
        return;
    // Security: only the visitor may use its passive port. A connection from
    // anywhere else is closed and the port keeps waiting.
    std::string peer, peerPort;
    if (!sockapi::PeerAddress(handle, peer, peerPort) || peer != Client.SavedPeerAddr) {
        sockapi::Close(handle);
        return;
    }
    // Closing the listener is no transfer's end: its closed step must not run.
    TCustomAsyncSocket::TSessionEvent closedStep = std::move(data.OnSessionClosed);
    data.OnSessionClosed = nullptr;
    data.Close();
    data.OnSessionClosed = std::move(closedStep);

    data.SetLingerOnOff(loLingerOff);
    data.SetLingerTimeout(0);
    if (Client.PassivePending) {
        // The transfer command came first and installed its handlers.
        data.SetHSocket(handle);
        Client.PassiveAccepted = true;
        const TCustomAsyncSocket::TSessionEvent connectedStep = data.OnSessionConnected;
        if (connectedStep)
            connectedStep(data, 0);
        return;
    }
    // The transfer command is still to come and will install its handlers;
    // what the visitor sends meanwhile waits for it, unread.
    data.OnSessionConnected = nullptr;
    data.OnSessionClosed = nullptr;
    data.OnDataAvailable = nullptr;
    data.OnDataSent = nullptr;
    data.SetHSocket(handle);
    data.PauseReading(true);
    Client.PassiveAccepted = true;
}

void TFtpServer::DataConnectionReset(TFtpCtrlSocket& Client)
{
    Client.PassivePending = false;
    Client.PassiveAccepted = false;
    Client.RestartOffset = 0;
    Client.PeerDataPort = "ftp-data";
}

void TFtpServer::AbortTransfer(TFtpCtrlSocket& Client, const std::string& reason)
{
    Client.TransferStatus = reason;
    Client.TransferAborted = true;
    // Never closed inside the data socket's own notification.
    PostRequest(Request::AbortData, *Client.DataSocket);
}

} // namespace quill
