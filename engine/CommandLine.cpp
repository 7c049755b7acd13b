#include "CommandLine.h"

namespace quill {

namespace {
    constexpr unsigned char TelnetIAC = 255;

    bool IsBlank(char c) { return c == ' ' || c == '\t'; }
    bool IsKeywordChar(char c)
    {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    }
}

std::string CleanTelnet(std::string_view line, std::size_t max, bool* tooLong)
{
    std::string out;
    out.reserve(line.size() < max ? line.size() : max);
    bool overflow = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (static_cast<unsigned char>(c) == TelnetIAC) {
            if (i + 1 >= line.size())
                break; // a lone IAC at the end
            ++i;
            if (static_cast<unsigned char>(line[i]) != TelnetIAC)
                continue; // a Telnet command: dropped with its IAC
        }
        if (out.size() >= max) {
            overflow = true;
            break;
        }
        out.push_back(c);
    }
    if (tooLong)
        *tooLong = overflow;
    return out;
}

CommandParts SplitCommand(std::string_view cleaned)
{
    std::size_t i = 0;
    while (i < cleaned.size() && IsBlank(cleaned[i]))
        ++i;
    CommandParts parts;
    while (i < cleaned.size() && IsKeywordChar(cleaned[i])) {
        char c = cleaned[i++];
        parts.keyword.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    }
    while (i < cleaned.size() && IsBlank(cleaned[i]))
        ++i;
    parts.params.assign(cleaned.substr(i));
    return parts;
}

} // namespace quill
