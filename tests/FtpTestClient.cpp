#include "FtpTestClient.h"

#include "TestLoop.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quill::test {

FtpTestClient::~FtpTestClient()
{
    Close();
}

namespace {
    // A non-blocking connection to addr:port (from fromAddr when given),
    // made while the loop runs (bounded); -1 when it could not be made.
    int ConnectLoopback(int port, const std::string& addr, const std::string& fromAddr = "")
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (!fromAddr.empty()) {
            sockaddr_in local {};
            local.sin_family = AF_INET;
            ::inet_pton(AF_INET, fromAddr.c_str(), &local.sin_addr);
            ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
        }
        sockaddr_in sa {};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET, addr.c_str(), &sa.sin_addr);
        const bool started = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 || errno == EINPROGRESS;
        const bool writable = started && WaitUntil([&] {
            pollfd p { fd, POLLOUT, 0 };
            return ::poll(&p, 1, 0) == 1;
        });
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        if (!writable || err != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
}

bool FtpTestClient::Connect(const std::string& port, const std::string& addr)
{
    EnsureApplication();
    fd_ = ConnectLoopback(std::stoi(port), addr);
    return fd_ >= 0;
}

namespace {
    // Sends all bytes on a non-blocking socket, running the loop meanwhile
    // (bounded); gives up when the connection fails.
    std::size_t SendAll(int fd, std::string_view bytes, std::chrono::milliseconds timeout)
    {
        std::size_t sent = 0;
        WaitUntil(
            [&] {
                const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
                if (n > 0)
                    sent += static_cast<std::size_t>(n);
                else if (n < 0 && errno != EAGAIN)
                    return true;
                return sent == bytes.size();
            },
            timeout);
        return sent;
    }
}

void FtpTestClient::SendRaw(std::string_view bytes)
{
    SendAll(fd_, bytes, std::chrono::seconds(10));
}

void FtpTestClient::LimitReceiveBuffer(int bytes)
{
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

std::size_t FtpTestClient::SendFor(std::string_view bytes, std::chrono::milliseconds timeout)
{
    return SendAll(fd_, bytes, timeout);
}

bool FtpTestClient::Pump()
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n > 0) {
            pending_.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            peerClosed_ = true;
        return !peerClosed_;
    }
}

std::string FtpTestClient::ReadLine(std::chrono::milliseconds timeout)
{
    std::size_t lf = std::string::npos;
    WaitUntil(
        [&] {
            Pump();
            lf = pending_.find('\n');
            return lf != std::string::npos || peerClosed_;
        },
        timeout);
    lf = pending_.find('\n');
    if (lf == std::string::npos)
        return peerClosed_ ? "<closed>" : "<timeout>";
    std::string line = pending_.substr(0, lf);
    pending_.erase(0, lf + 1);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

std::string FtpTestClient::Login(const std::string& user, const std::string& password)
{
    Command("USER " + user);
    return Command("PASS " + password);
}

bool FtpTestClient::WaitClosed(std::chrono::milliseconds timeout)
{
    return WaitUntil(
        [&] {
            Pump();
            return peerClosed_;
        },
        timeout);
}

int FtpTestClient::Pasv()
{
    lastReply = Command("PASV");
    int h[6] = {};
    const auto open = lastReply.find('(');
    if (lastReply.rfind("227 ", 0) != 0 || open == std::string::npos
        || std::sscanf(lastReply.c_str() + open, "(%d,%d,%d,%d,%d,%d)", &h[0], &h[1], &h[2], &h[3], &h[4], &h[5]) != 6)
        return 0;
    return h[4] * 256 + h[5];
}

DataChannel::~DataChannel()
{
    Close();
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

std::unique_ptr<DataChannel> DataChannel::ConnectTo(int port, const std::string& addr, const std::string& fromAddr)
{
    std::unique_ptr<DataChannel> c(new DataChannel);
    c->fd_ = ConnectLoopback(port, addr, fromAddr);
    return c->fd_ >= 0 ? std::move(c) : nullptr;
}

std::unique_ptr<DataChannel> DataChannel::Listen()
{
    std::unique_ptr<DataChannel> c(new DataChannel);
    c->listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    ::inet_pton(AF_INET, "127.0.0.1", &sa.sin_addr);
    ::bind(c->listenFd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    ::listen(c->listenFd_, 4);
    socklen_t len = sizeof sa;
    ::getsockname(c->listenFd_, reinterpret_cast<sockaddr*>(&sa), &len);
    c->port_ = ntohs(sa.sin_port);
    return c;
}

std::string DataChannel::PortArgument() const
{
    return "127,0,0,1," + std::to_string(port_ / 256) + "," + std::to_string(port_ % 256);
}

bool DataChannel::Accept(std::chrono::milliseconds timeout)
{
    return WaitUntil(
        [&] {
            fd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            return fd_ >= 0;
        },
        timeout);
}

std::string DataChannel::ReadAll(std::chrono::milliseconds timeout)
{
    std::string data;
    bool ended = false;
    WaitUntil(
        [&] {
            char buf[65536];
            for (;;) {
                const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
                if (n > 0) {
                    data.append(buf, static_cast<std::size_t>(n));
                    continue;
                }
                ended = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
                return ended;
            }
        },
        timeout);
    return ended ? data : data + "<timeout>";
}

void DataChannel::Send(std::string_view bytes)
{
    SendAll(fd_, bytes, std::chrono::seconds(20));
}

void DataChannel::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void DataChannel::Reset()
{
    if (fd_ < 0)
        return;
    linger l { 1, 0 };
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    Close();
}

void FtpTestClient::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

} // namespace quill::test
