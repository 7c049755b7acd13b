// Pure steps of command dispatch: cleaning Telnet sequences out of a line
// and splitting it into keyword and parameters (RFC 959 section 4.1, with
// the Telnet IAC escape of RFC 854).
#pragma once

#include <string>
#include <string_view>

namespace quill {

// The line without Telnet sequences: IAC IAC gives one 255 byte, IAC and any
// other byte give nothing, a lone IAC at the end is dropped. At most `max`
// bytes are kept; `tooLong` tells whether more would have followed.
std::string CleanTelnet(std::string_view line, std::size_t max, bool* tooLong = nullptr);

struct CommandParts {
    std::string keyword; // upper case; may be empty
    std::string params;  // the rest after the blanks, trailing blanks kept
};

// Skips leading blanks and tabs, takes the run of ASCII letters and digits as
// the keyword (upper-cased), skips blanks and tabs after it, and keeps the rest.
CommandParts SplitCommand(std::string_view cleaned);

} // namespace quill
