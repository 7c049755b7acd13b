// A loopback FTP client for tests that share a thread with the server: it
// never blocks, and while it waits for a reply it runs the event loop so the
// server can answer. Every wait is bounded.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace quill::test {

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
