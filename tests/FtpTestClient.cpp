#include "FtpTestClient.h"

#include "TestLoop.h"

#include <arpa/inet.h>
#include <cerrno>
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

bool FtpTestClient::Connect(const std::string& port, const std::string& addr)
{
    EnsureApplication();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(std::stoi(port)));
    ::inet_pton(AF_INET, addr.c_str(), &sa.sin_addr);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 && errno != EINPROGRESS)
        return false;
    return WaitUntil([&] {
        pollfd p { fd_, POLLOUT, 0 };
        return ::poll(&p, 1, 0) == 1;
    });
}

void FtpTestClient::SendRaw(std::string_view bytes)
{
    std::size_t sent = 0;
    WaitUntil(
        [&] {
            const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n > 0)
                sent += static_cast<std::size_t>(n);
            else if (n < 0 && errno != EAGAIN)
                return true;
            return sent == bytes.size();
        },
        std::chrono::seconds(10));
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

void FtpTestClient::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

} // namespace quill::test
