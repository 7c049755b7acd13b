#include "ServerOptions.h"

#include <QDir>
#include <QFileInfo>

namespace quill::cli {

std::string UsageText()
{
    return "usage: quillshare-server --dir DIR --password PW [--port PORT] [--address ADDR]\n"
           "  Shares the folder DIR over FTP. Any user name with the password PW logs in;\n"
           "  visitors stay inside DIR. PORT defaults to 2121 (0 lets the system choose),\n"
           "  ADDR to 0.0.0.0 (every interface). SIGINT or SIGTERM stops the server.\n";
}

std::optional<ServerOptions> ParseServerOptions(const std::vector<std::string>& args, std::string& error)
{
    ServerOptions options;
    bool haveDir = false, havePassword = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            error = "help requested";
            return std::nullopt;
        }
        if (name != "--dir" && name != "--password" && name != "--port" && name != "--address") {
            error = "unknown option '" + name + "'";
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = "option " + name + " needs a value";
            return std::nullopt;
        }
        const std::string& value = args[++i];
        if (name == "--dir") {
            options.dir = value;
            haveDir = true;
        } else if (name == "--password") {
            options.password = value;
            havePassword = true;
        } else if (name == "--port") {
            const bool digits = !value.empty() && value.size() <= 5
                && value.find_first_not_of("0123456789") == std::string::npos;
            if (!digits || std::stoi(value) > 65535) {
                error = "invalid port '" + value + "'";
                return std::nullopt;
            }
            options.port = std::to_string(std::stoi(value));
        } else {
            options.address = value;
        }
    }
    if (!haveDir || !havePassword) {
        error = !haveDir ? "missing --dir" : "missing --password";
        return std::nullopt;
    }
    if (options.password.empty()) {
        error = "the password must not be empty";
        return std::nullopt;
    }
    const QFileInfo info(QString::fromStdString(options.dir));
    if (!info.isDir()) {
        error = "'" + options.dir + "' is not a folder";
        return std::nullopt;
    }
    options.dir = QDir::cleanPath(info.absoluteFilePath()).toStdString();
    return options;
}

} // namespace quill::cli
