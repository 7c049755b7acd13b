// Command-line options of quillshare-server.
#pragma once

#include "SharingPolicy.h"

#include <optional>
#include <string>
#include <vector>

namespace quill::cli {

struct ServerOptions {
    std::string dir;      // absolute and cleaned
    std::string password; // compared exactly
    std::string port = "2121";
    std::string address = "0.0.0.0";
    AccessRights rights;  // none by default: download and list only
    int maxClients = 0;   // 0: no limit
    int blockSize = 65536; // bytes per transfer block
    bool help = false;    // --help: print the usage and stop
};

// Parses the arguments after the program name. Returns nothing and sets
// `error` to a one-line reason naming the option when they are missing or
// malformed.
std::optional<ServerOptions> ParseServerOptions(const std::vector<std::string>& args, std::string& error);

std::string UsageText();

} // namespace quill::cli
