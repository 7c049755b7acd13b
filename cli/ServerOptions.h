// Command-line options of quillshare-server.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quill::cli {

struct ServerOptions {
    std::string dir;      // absolute, as given by the user
    std::string password; // compared exactly
    std::string port = "2121";
    std::string address = "0.0.0.0";
};

// Parses the arguments after the program name. Returns nothing and sets
// `error` to a one-line reason when they are missing or malformed.
std::optional<ServerOptions> ParseServerOptions(const std::vector<std::string>& args, std::string& error);

std::string UsageText();

} // namespace quill::cli
