// quillshare-server: shares one folder over FTP from the command line, with
// the same engine, sharing policy and activity log as the desktop console.
#include "ActivityLog.h"
#include "DescriptorLimit.h"
#include "FtpServer.h"
#include "ServerOptions.h"
#include "SharingPolicy.h"
#include "SignalWatcher.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <chrono>

#include <cstdio>
#include <string>
#include <vector>

using namespace quill;

namespace {

// Output waiting in stdout's buffer is written out when the event loop is
// about to wait, at most every FlushInterval: a watcher sees each line within
// that time, and a busy server, whose loop waits thousands of times a second,
// writes (and wakes whatever reads its output) a few times a second instead.
class LogFlusher {
public:
    static constexpr std::chrono::milliseconds FlushInterval { 100 };

    LogFlusher()
    {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::CoarseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Flush(); });
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                         [this] { AboutToWait(); });
        sinceFlush_.start();
    }

    void Written() { pending_ = true; }

    void Flush()
    {
        std::fflush(stdout);
        pending_ = false;
        sinceFlush_.restart();
    }

private:
    void AboutToWait()
    {
        if (!pending_ || timer_.isActive())
            return;
        const auto left = FlushInterval - std::chrono::milliseconds(sinceFlush_.elapsed());
        if (left.count() <= 0)
            Flush();
        else
            timer_.start(left);
    }

    QTimer timer_;
    QElapsedTimer sinceFlush_;
    bool pending_ = false;
};

LogFlusher* flusher = nullptr;

// One line on stdout.
// Security: a visitor's bytes could carry terminal escape sequences, so
// control characters are shown as \xNN instead of reaching the terminal.
void PrintLine(const std::string& line)
{
    static const char hex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(line.size() + 1);
    for (unsigned char c : line) {
        if (c < 0x20 || c == 0x7f) {
            shown += "\\x";
            shown += hex[c >> 4];
            shown += hex[c & 15];
        } else {
            shown += static_cast<char>(c);
        }
    }
    shown += '\n';
    std::fwrite(shown.data(), 1, shown.size(), stdout);
    if (flusher)
        flusher->Written();
}

std::string LinkHost(const std::string& address)
{
    if (address != "0.0.0.0" && address != "::" && !address.empty())
        return address.find(':') != std::string::npos ? "[" + address + "]" : address;
    const std::vector<std::string> addresses = sockapi::LocalIPv4List();
    return addresses.empty() ? "127.0.0.1" : addresses.front();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);

    std::string error;
    const auto options = cli::ParseServerOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "quillshare-server: %s\n%s", error.c_str(), cli::UsageText().c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(cli::UsageText().c_str(), stdout);
        return 0;
    }
    cli::RaiseDescriptorLimit();
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    LogFlusher logFlusher;
    flusher = &logFlusher;

    TFtpServer server;
    server.Port = options->port;
    server.Addr = options->address;
    server.MaxClients = options->maxClients;
    server.TransferBlockSize = options->blockSize;

    ActivityLog log(PrintLine, /*maskPasswords=*/true);
    log.Attach(server);
    SharingPolicy policy({ [&] { return options->password; }, [&] { return options->dir; },
                             [&](AccessRight right) { return options->rights.Has(right); } },
                         log);
    policy.Attach(server);
    // The link comes first, with the port the system chose.
    server.OnStart = [&](TFtpServer& s) {
        PrintLine("ftp://" + LinkHost(options->address) + ":" + s.ListenPort());
        log.ServerStarted();
    };

    cli::SignalWatcher stopSignals([&](int) {
        server.Stop();
        server.CloseAllClients();
        // Queued behind the connections' free requests, so their
        // disconnections are logged before the program ends.
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });

    try {
        server.Start();
    } catch (const std::exception& e) {
        logFlusher.Flush();
        std::fprintf(stderr, "quillshare-server: cannot listen on %s port %s: %s\n", options->address.c_str(),
                     options->port.c_str(), e.what());
        return 1;
    }
    const int status = app.exec();
    logFlusher.Flush();
    flusher = nullptr;
    return status;
}
