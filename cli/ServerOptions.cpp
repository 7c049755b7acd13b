#include "ServerOptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quill::cli {

std::string UsageText()
{
    return "usage: quillshare-server --dir DIR (--password PW | --password-file FILE)\n"
           "                         [--port PORT] [--address ADDR] [--allow RIGHTS] [--max-clients N]\n"
           "                         [--block-size BYTES]\n"
           "\n"
           "Shares the folder DIR over FTP. Any user name with the password logs in;\n"
           "visitors stay inside DIR.\n"
           "\n"
           "  --dir DIR             the folder to share\n"
           "  --password PW         the password visitors type (case matters)\n"
           "  --password-file FILE  read the password from the first line of FILE instead,\n"
           "                        so it does not show in the process list\n"
           "  --port PORT           the port to listen on (default 2121; 0 lets the system choose)\n"
           "  --address ADDR        the local address to listen on (default 0.0.0.0, every one)\n"
           "  --allow RIGHTS        what visitors may change, comma-separated, any case:\n"
           "                        CreateDir, DeleteDir, Upload, DeleteFiles, Rename, or all / none\n"
           "                        (default none: download and list only)\n"
           "  --max-clients N       at most N connections at a time (default 0: no limit)\n"
           "  --block-size BYTES    bytes per transfer block, 512 to 16777216 (default 65536)\n"
           "  --help                this text\n"
           "\n"
           "Example:\n"
           "  quillshare-server --dir ~/Public --password-file ~/.quillshare-pw --allow Upload,CreateDir\n"
           "\n"
           "SIGINT or SIGTERM stops the server.\n";
}

namespace {

    bool ParseNumber(const std::string& text, long max, long& out)
    {
        if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
            return false;
        out = std::stol(text);
        return out <= max;
    }

    // The first line of the file, without its line end.
    std::optional<std::string> ReadPasswordFile(const std::string& path)
    {
        QFile file(QString::fromStdString(path));
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        std::string line = file.readLine(4096).toStdString();
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        return line;
    }

} // namespace

std::optional<ServerOptions> ParseServerOptions(const std::vector<std::string>& args, std::string& error)
{
    ServerOptions options;
    bool haveDir = false, havePassword = false;
    static const char* const valued[]
        = { "--dir", "--password", "--password-file", "--port", "--address", "--allow", "--max-clients", "--block-size" };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            options.help = true;
            return options;
        }
        if (std::find(std::begin(valued), std::end(valued), name) == std::end(valued)) {
            error = "unknown option '" + name + "'";
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = name + ": needs a value";
            return std::nullopt;
        }
        const std::string& value = args[++i];
        long number = 0;
        if (name == "--dir") {
            options.dir = value;
            haveDir = true;
        } else if (name == "--password") {
            options.password = value;
            havePassword = true;
        } else if (name == "--password-file") {
            const auto password = ReadPasswordFile(value);
            if (!password) {
                error = "--password-file: cannot read '" + value + "'";
                return std::nullopt;
            }
            options.password = *password;
            havePassword = true;
        } else if (name == "--port") {
            if (!ParseNumber(value, 65535, number)) {
                error = "--port: invalid port '" + value + "'";
                return std::nullopt;
            }
            options.port = std::to_string(number);
        } else if (name == "--address") {
            options.address = value;
        } else if (name == "--allow") {
            std::string reason;
            const auto rights = ParseAccessRights(value, reason);
            if (!rights) {
                error = "--allow: " + reason;
                return std::nullopt;
            }
            options.rights = *rights;
        } else if (name == "--max-clients") {
            if (!ParseNumber(value, 1000000, number)) {
                error = "--max-clients: not a count '" + value + "'";
                return std::nullopt;
            }
            options.maxClients = static_cast<int>(number);
        } else if (name == "--block-size") {
            if (!ParseNumber(value, 16 << 20, number) || number < 512) {
                error = "--block-size: not a size from 512 to 16777216 '" + value + "'";
                return std::nullopt;
            }
            options.blockSize = static_cast<int>(number);
        }
    }
    if (!haveDir) {
        error = "--dir: missing";
        return std::nullopt;
    }
    if (!havePassword) {
        error = "--password or --password-file: missing";
        return std::nullopt;
    }
    if (options.password.empty()) {
        error = "--password: the password must not be empty";
        return std::nullopt;
    }
    const QFileInfo info(QString::fromStdString(options.dir));
    if (!info.isDir()) {
        error = "--dir: '" + options.dir + "' is not a folder";
        return std::nullopt;
    }
    options.dir = QDir::cleanPath(info.absoluteFilePath()).toStdString();
    return options;
}

} // namespace quill::cli
