// The operating system's sockets, reduced to the few calls the asynchronous
// socket layer needs. Everything OS-specific about sockets lives behind this
// header (SocketApi_posix.cpp here; a Windows build supplies its own file).
// All sockets made here are non-blocking and not inherited by child processes.
#pragma once

#include <QtGlobal>

#include <stdexcept>
#include <string>
#include <vector>

namespace quill {

// A failed socket call: the function that failed and the system's error code.
class ESocketException : public std::runtime_error {
public:
    ESocketException(const std::string& function, int code);
    ESocketException(const std::string& function, const std::string& reason);

    const std::string& function() const { return function_; }
    int code() const { return code_; }

private:
    std::string function_;
    int code_ = 0;
};

namespace sockapi {

using Handle = qintptr;
inline constexpr Handle InvalidHandle = -1;

// Result of a send or receive: a byte count, or an error code
// (WouldBlock when the call would have to wait).
struct IoResult {
    long count = 0;
    int error = 0;
};
inline constexpr int WouldBlock = -1;

std::string ErrorText(int code);

// Port number of a decimal text or a service name ("ftp", "ftp-data") from
// the system's service database. Throws ESocketException.
int ResolvePort(const std::string& port);

// A bound, listening socket on addr:port ("0.0.0.0", "::", a numeric address
// or a host name). Throws ESocketException naming the failed call.
Handle OpenListener(const std::string& addr, const std::string& port, int backlog);

// Takes the next pending connection. Returns InvalidHandle and sets `error`
// (WouldBlock when none is pending). When the process is out of descriptors
// the pending connection is still taken off the queue and closed, so the
// listener does not stay readable for ever.
Handle AcceptConnection(Handle listener, int& error);

// Starts a non-blocking connect to addr:port (numeric address), bound first
// to localAddr:localPort when either is not empty. A local port that needs a
// privilege the process lacks is replaced by a port the system chooses.
// Throws ESocketException.
Handle StartConnect(const std::string& addr, const std::string& port, const std::string& localAddr,
                    const std::string& localPort);

// The outcome of a connect started by StartConnect, once the socket is writable: 0 or an error code.
int ConnectResult(Handle h);

IoResult Send(Handle h, const char* data, std::size_t len);
IoResult Receive(Handle h, char* buf, std::size_t len);

enum class ShutdownHow { Receive, Send, Both };
void Shutdown(Handle h, ShutdownHow how);
void Close(Handle h);

// Makes an accepted handle non-blocking and close-on-exec.
void PrepareAccepted(Handle h);
void SetLinger(Handle h, bool on, int timeoutSeconds);
// Sends small writes at once (no Nagle delay): replies and the last block of
// a transfer must not wait for the peer's delayed acknowledgement.
void SetNoDelay(Handle h);

// Addresses as text: "127.0.0.1" and "2121". Empty strings when unknown.
bool LocalAddress(Handle h, std::string& addr, std::string& port);
bool PeerAddress(Handle h, std::string& addr, std::string& port);

// The machine's IPv4 addresses, loopback last.
std::vector<std::string> LocalIPv4List();

} // namespace sockapi
} // namespace quill
