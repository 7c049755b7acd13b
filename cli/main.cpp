// quillshare-server: shares one folder over FTP from the command line.
#include "FileSystem.h"
#include "FtpServer.h"
#include "ServerOptions.h"
#include "SignalWatcher.h"

#include <QCoreApplication>

#include <cstdio>
#include <string>
#include <vector>

using namespace quill;

namespace {

// One line on stdout, flushed at once so a watcher sees it as it happens.
// Security: a visitor's bytes could carry terminal escape sequences, so
// control characters are shown as \xNN instead of reaching the terminal.
void PrintLine(const std::string& line)
{
    std::string shown;
    shown.reserve(line.size());
    for (unsigned char c : line) {
        if (c < 0x20 || c == 0x7f) {
            static const char hex[] = "0123456789abcdef";
            shown += "\\x";
            shown += hex[c >> 4];
            shown += hex[c & 15];
        } else {
            shown += static_cast<char>(c);
        }
    }
    std::fwrite(shown.data(), 1, shown.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
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
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto options = cli::ParseServerOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "quillshare-server: %s\n%s", error.c_str(), cli::UsageText().c_str());
        return 2;
    }

    TFtpServer server;
    server.Port = options->port;
    server.Addr = options->address;
    server.Banner = "220 Quillshare FTP Server ready.";
    // Security: every visitor stays inside the shared folder.
    server.ConfineToHomeDir = true;

    server.OnStart = [&](TFtpServer& s) {
        PrintLine("ftp://" + LinkHost(options->address) + ":" + s.ListenPort());
        PrintLine("! Server started");
    };
    server.OnStop = [](TFtpServer&) { PrintLine("! Server stopped"); };
    server.OnClientConnect = [](TFtpServer&, TFtpCtrlSocket& client, quint16) {
        PrintLine("! " + client.GetPeerAddr() + " connected");
    };
    server.OnClientDisconnect = [](TFtpServer&, TFtpCtrlSocket& client, quint16) {
        PrintLine("! " + client.GetPeerAddr() + " disconnected");
    };
    server.OnClientCommand = [](TFtpServer&, TFtpCtrlSocket& client, TFtpString& keyword, TFtpString& params,
                                TFtpString&) {
        // Security: the password never reaches the output.
        const std::string shown = keyword == "PASS" ? std::string("***") : params.str();
        PrintLine("< " + client.GetPeerAddr() + " " + keyword.str() + " " + shown);
    };
    server.OnAnswerToClient = [](TFtpServer&, TFtpCtrlSocket& client, TFtpString& answer) {
        PrintLine("> " + client.GetPeerAddr() + " " + answer.str());
    };
    server.OnAuthenticate = [&](TFtpServer&, TFtpCtrlSocket& client, const TFtpString& user,
                                const TFtpString& password, bool& authenticated) {
        authenticated = password.str() == options->password;
        if (authenticated) {
            client.HomeDir = options->dir;
            PrintLine("! " + client.GetPeerAddr() + " User '" + user.str() + "' is authenticated");
        }
    };
    server.OnChangeDirectory = [&](TFtpServer& s, TFtpCtrlSocket&, const std::string& directory, bool& allowed) {
        // Security: a visitor stays inside the shared folder, compared
        // component by component after "." and ".." are collapsed.
        allowed = IsWithinFolder(s.PathRules, options->dir, directory);
        // Only folders that exist: a client that walks a path one step at a
        // time must learn where a step fails.
        if (allowed) {
            const std::optional<FileEntry> entry = StatPath(CollapseDots(s.PathRules, directory));
            allowed = entry && entry->directory;
        }
    };

    // Downloads and listings only: whatever would change the disk is refused.
    const auto refuse = [](TFtpServer&, TFtpCtrlSocket&, std::string&, bool& allowed) { allowed = false; };
    server.OnValidatePut = refuse;
    server.OnValidateDele = refuse;
    server.OnValidateRnFr = refuse;
    server.OnValidateRnTo = refuse;
    server.OnValidateRmd = refuse;
    server.OnMakeDirectory = [](TFtpServer&, TFtpCtrlSocket&, const std::string&, bool& allowed) { allowed = false; };

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
        std::fprintf(stderr, "quillshare-server: cannot listen on %s port %s: %s\n", options->address.c_str(),
                     options->port.c_str(), e.what());
        return 1;
    }
    return app.exec();
}
