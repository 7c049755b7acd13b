// POSIX sockets behind SocketApi.h.
#include "SocketApi.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

namespace quill {

ESocketException::ESocketException(const std::string& function, int code)
    : std::runtime_error("Error " + std::to_string(code) + " in function " + function + ": "
                         + sockapi::ErrorText(code))
    , function_(function)
    , code_(code)
{
}

ESocketException::ESocketException(const std::string& function, const std::string& reason)
    : std::runtime_error("Error in function " + function + ": " + reason)
    , function_(function)
{
}

namespace sockapi {
namespace {

    // A descriptor held in reserve: when accept() fails for want of
    // descriptors, it is given up for a moment to take the pending
    // connection off the queue and close it.
    int& ReserveDescriptor()
    {
        static int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        return fd;
    }

    struct ResolvedAddress {
        sockaddr_storage storage {};
        socklen_t length = 0;
        int family = AF_INET;

        uint16_t Port() const
        {
            if (family == AF_INET6)
                return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
            return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
        }
    };

    // Address reuse lets a chosen port be bound again while connections of
    // an earlier socket on it linger. A port the system chooses needs none,
    // and asking for it there makes the system search its busy ports first.
    void SetReuseAddress(int fd, bool on)
    {
        const int value = on ? 1 : 0;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &value, sizeof value);
    }

    void SetPort(ResolvedAddress& where, uint16_t port)
    {
        if (where.family == AF_INET6)
            reinterpret_cast<sockaddr_in6*>(&where.storage)->sin6_port = htons(port);
        else
            reinterpret_cast<sockaddr_in*>(&where.storage)->sin_port = htons(port);
    }

    // A listener on "any port" (every passive transfer makes one) gets a
    // random port of the dynamic range, bound with address reuse. Left to
    // the system, a port is searched among those not held by any socket,
    // connections that linger after closing included: the data connections
    // a busy server closed in the last minute hold thousands of ports, and
    // the search grows so slow that transfers crawl or run out of ports.
    // A port still held by a listener is refused, and another is tried.
    bool BindAnyPort(int fd, ResolvedAddress where)
    {
        constexpr uint16_t first = 49152, last = 65535;
        constexpr int attempts = 16;
        thread_local std::minstd_rand random(static_cast<unsigned>(std::random_device {}()));
        std::uniform_int_distribution<int> pick(first, last);
        SetReuseAddress(fd, true);
        for (int i = 0; i < attempts; ++i) {
            SetPort(where, static_cast<uint16_t>(pick(random)));
            if (::bind(fd, reinterpret_cast<const sockaddr*>(&where.storage), where.length) == 0)
                return true;
            if (errno != EADDRINUSE)
                break;
        }
        SetReuseAddress(fd, false);
        SetPort(where, 0);
        return ::bind(fd, reinterpret_cast<const sockaddr*>(&where.storage), where.length) == 0;
    }

    // Resolves addr:port. Numeric addresses never touch the network; names
    // are looked up only when `allowNames` is set (owner-chosen addresses).
    ResolvedAddress Resolve(const std::string& function, const std::string& addr, const std::string& port,
                            bool passive, bool allowNames)
    {
        const int portNumber = ResolvePort(port);
        addrinfo hints {};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : 0) | (allowNames ? 0 : AI_NUMERICHOST);
        const std::string service = std::to_string(portNumber);
        addrinfo* list = nullptr;
        const char* node = addr.empty() ? nullptr : addr.c_str();
        if (!node && !passive)
            throw ESocketException(function, "no address given");
        const int rc = ::getaddrinfo(node, service.c_str(), &hints, &list);
        if (rc != 0 || !list)
            throw ESocketException(function, "cannot resolve address '" + addr + "': " + ::gai_strerror(rc));
        ResolvedAddress out;
        std::memcpy(&out.storage, list->ai_addr, list->ai_addrlen);
        out.length = list->ai_addrlen;
        out.family = list->ai_family;
        ::freeaddrinfo(list);
        return out;
    }

    std::string AddressText(const sockaddr_storage& ss, std::string& port)
    {
        char text[INET6_ADDRSTRLEN] = {};
        if (ss.ss_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(&ss);
            ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
            port = std::to_string(ntohs(in->sin_port));
        } else if (ss.ss_family == AF_INET6) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&ss);
            if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr))
                ::inet_ntop(AF_INET, &in6->sin6_addr.s6_addr[12], text, sizeof text);
            else
                ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
            port = std::to_string(ntohs(in6->sin6_port));
        }
        return text;
    }

    int NewSocket(const std::string& function, int family)
    {
        const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            throw ESocketException(function, errno);
        return fd;
    }

} // namespace

std::string ErrorText(int code)
{
    if (code == WouldBlock)
        return "Operation would block";
    return std::strerror(code);
}

int ResolvePort(const std::string& port)
{
    if (port.empty())
        throw ESocketException("ResolvePort", "no port given");
    if (port.find_first_not_of("0123456789") == std::string::npos) {
        if (port.size() > 5 || std::stoi(port) > 65535)
            throw ESocketException("ResolvePort", "invalid port '" + port + "'");
        return std::stoi(port);
    }
    servent entry {};
    servent* found = nullptr;
    char buffer[1024];
    if (::getservbyname_r(port.c_str(), "tcp", &entry, buffer, sizeof buffer, &found) != 0 || !found)
        throw ESocketException("ResolvePort", "unknown service '" + port + "'");
    return ntohs(static_cast<uint16_t>(found->s_port));
}

Handle OpenListener(const std::string& addr, const std::string& port, int backlog)
{
    (void)ReserveDescriptor(); // held from the first listener on, before descriptors run out
    const ResolvedAddress where = Resolve("Listen", addr.empty() ? "0.0.0.0" : addr, port, true, true);
    const int fd = NewSocket("socket", where.family);
    bool bound = false;
    if (where.Port() == 0) {
        bound = BindAnyPort(fd, where);
    } else {
        SetReuseAddress(fd, true);
        bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&where.storage), where.length) == 0;
    }
    if (!bound) {
        const int err = errno;
        ::close(fd);
        throw ESocketException("bind", err);
    }
    if (::listen(fd, backlog) != 0) {
        const int err = errno;
        ::close(fd);
        throw ESocketException("listen", err);
    }
    return fd;
}

Handle AcceptConnection(Handle listener, int& error)
{
    const int fd = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
        error = 0;
        return fd;
    }
    error = (errno == EAGAIN || errno == EWOULDBLOCK) ? WouldBlock : errno;
    if ((errno == EMFILE || errno == ENFILE) && ReserveDescriptor() >= 0) {
        // Out of descriptors: drop the visitor rather than leave the
        // listener readable (which would spin the event loop).
        ::close(ReserveDescriptor());
        const int dropped = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
        if (dropped >= 0)
            ::close(dropped);
        ReserveDescriptor() = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    }
    return InvalidHandle;
}

Handle StartConnect(const std::string& addr, const std::string& port, const std::string& localAddr,
                    const std::string& localPort)
{
    const ResolvedAddress where = Resolve("Connect", addr, port, false, false);
    const int fd = NewSocket("socket", where.family);
    if (!localAddr.empty() || !localPort.empty()) {
        ResolvedAddress local = Resolve("Bind", localAddr, localPort.empty() ? "0" : localPort, true, false);
        SetReuseAddress(fd, local.Port() != 0);
        int rc = ::bind(fd, reinterpret_cast<const sockaddr*>(&local.storage), local.length);
        if (rc != 0 && errno == EACCES) {
            // A privileged local port (ftp-data is 20) without the privilege:
            // let the system choose the port rather than fail the transfer.
            local = Resolve("Bind", localAddr, "0", true, false);
            SetReuseAddress(fd, false);
            rc = ::bind(fd, reinterpret_cast<const sockaddr*>(&local.storage), local.length);
        }
        if (rc != 0) {
            const int err = errno;
            ::close(fd);
            throw ESocketException("bind", err);
        }
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&where.storage), where.length) != 0
        && errno != EINPROGRESS) {
        const int err = errno;
        ::close(fd);
        throw ESocketException("connect", err);
    }
    return fd;
}

int ConnectResult(Handle h)
{
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(static_cast<int>(h), SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        return errno;
    return err;
}

IoResult Send(Handle h, const char* data, std::size_t len)
{
    const ssize_t n = ::send(static_cast<int>(h), data, len, MSG_NOSIGNAL);
    if (n >= 0)
        return { static_cast<long>(n), 0 };
    return { 0, (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? WouldBlock : errno };
}

IoResult Receive(Handle h, char* buf, std::size_t len)
{
    const ssize_t n = ::recv(static_cast<int>(h), buf, len, 0);
    if (n >= 0)
        return { static_cast<long>(n), 0 };
    return { 0, (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? WouldBlock : errno };
}

void Shutdown(Handle h, ShutdownHow how)
{
    const int mode = how == ShutdownHow::Receive ? SHUT_RD : how == ShutdownHow::Send ? SHUT_WR : SHUT_RDWR;
    ::shutdown(static_cast<int>(h), mode);
}

void Close(Handle h)
{
    ::close(static_cast<int>(h));
}

void PrepareAccepted(Handle h)
{
    const int fd = static_cast<int>(h);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

void SetLinger(Handle h, bool on, int timeoutSeconds)
{
    linger value {};
    value.l_onoff = on ? 1 : 0;
    value.l_linger = timeoutSeconds;
    ::setsockopt(static_cast<int>(h), SOL_SOCKET, SO_LINGER, &value, sizeof value);
}

void SetNoDelay(Handle h)
{
    const int one = 1;
    ::setsockopt(static_cast<int>(h), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool LocalAddress(Handle h, std::string& addr, std::string& port)
{
    sockaddr_storage ss {};
    socklen_t len = sizeof ss;
    if (::getsockname(static_cast<int>(h), reinterpret_cast<sockaddr*>(&ss), &len) != 0)
        return false;
    addr = AddressText(ss, port);
    return true;
}

bool PeerAddress(Handle h, std::string& addr, std::string& port)
{
    sockaddr_storage ss {};
    socklen_t len = sizeof ss;
    if (::getpeername(static_cast<int>(h), reinterpret_cast<sockaddr*>(&ss), &len) != 0)
        return false;
    addr = AddressText(ss, port);
    return true;
}

std::vector<std::string> LocalIPv4List()
{
    std::vector<std::string> external, loopback;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) == 0) {
        for (ifaddrs* it = list; it; it = it->ifa_next) {
            if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET)
                continue;
            char text[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(it->ifa_addr)->sin_addr, text, sizeof text);
            (std::strncmp(text, "127.", 4) == 0 ? loopback : external).push_back(text);
        }
        ::freeifaddrs(list);
    }
    external.insert(external.end(), loopback.begin(), loopback.end());
    return external;
}

} // namespace sockapi
} // namespace quill
