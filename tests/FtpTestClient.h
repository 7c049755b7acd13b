// A loopback FTP client for tests that share a thread with the server: it
// never blocks, and while it waits for a reply it runs the event loop so the
// server can answer. Every wait is bounded.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace quill::test {

// One data connection of a test, either end: connects to a passive port, or
// listens for an active one.
class DataChannel {
public:
    ~DataChannel();
    DataChannel(const DataChannel&) = delete;
    DataChannel& operator=(const DataChannel&) = delete;

    // Connects to port on addr (from a chosen local address when given).
    static std::unique_ptr<DataChannel> ConnectTo(int port, const std::string& addr = "127.0.0.1",
                                                  const std::string& fromAddr = "");
    // Listens on a loopback port for the server's active connection.
    static std::unique_ptr<DataChannel> Listen();
    // "h1,h2,h3,h4,p1,p2" of the listening port, for PORT.
    std::string PortArgument() const;
    bool Accept(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    bool Connected() const { return fd_ >= 0; }
    // Everything until the server closes (bounded); "<timeout>" appended when it did not.
    std::string ReadAll(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    void Send(std::string_view bytes);
    void Close();
    // Closes with a reset instead of an orderly end.
    void Reset();

private:
    DataChannel() = default;
    int fd_ = -1;
    int listenFd_ = -1;
    int port_ = 0;
};

class FtpTestClient {
public:
    FtpTestClient() = default;
    ~FtpTestClient();
    FtpTestClient(const FtpTestClient&) = delete;
    FtpTestClient& operator=(const FtpTestClient&) = delete;

    bool Connect(const std::string& port, const std::string& addr = "127.0.0.1");
    // Sends raw bytes / a line with CR LF.
    void SendRaw(std::string_view bytes);
    void SendLine(std::string_view line) { SendRaw(std::string(line) + "\r\n"); }
    // Makes the system hold at most about this many unread reply bytes.
    void LimitReceiveBuffer(int bytes);
    // Sends what the server takes within the time; returns the bytes sent.
    std::size_t SendFor(std::string_view bytes, std::chrono::milliseconds timeout);
    // The next reply line without CR LF, or "<timeout>" / "<closed>".
    std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Sends a command and returns its reply.
    std::string Command(std::string_view line)
    {
        SendLine(line);
        return ReadLine();
    }
    // USER and PASS; returns the reply to PASS.
    std::string Login(const std::string& user = "visitor", const std::string& password = "secret");
    // PASV: the port of the 227 reply, or 0 (the reply is kept in lastReply).
    int Pasv();
    std::string lastReply;
    // True once the server has closed the connection (all replies read).
    bool WaitClosed(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

private:
    // Reads what is available; false when the peer closed or failed.
    bool Pump();

    int fd_ = -1;
    std::string pending_;
    bool peerClosed_ = false;
};

} // namespace quill::test
