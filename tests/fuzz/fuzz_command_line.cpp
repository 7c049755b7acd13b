// Telnet cleaning and the keyword split: bounded output, an upper-case
// alphanumeric keyword, and a split that loses nothing.
#include "CommandLine.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    bool tooLong = false;
    const std::string cleaned = quill::CleanTelnet(line, 255, &tooLong);
    if (cleaned.size() > 255 || (tooLong && cleaned.size() != 255))
        std::abort();
    if (line.find('\xff') == std::string_view::npos && line.substr(0, cleaned.size()) != cleaned)
        std::abort(); // without Telnet bytes, cleaning only cuts
    const quill::CommandParts parts = quill::SplitCommand(cleaned);
    for (char c : parts.keyword)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            std::abort();
    // Blanks, the keyword as sent, blanks, the parameters: the whole line.
    const size_t paramsAt = cleaned.size() - parts.params.size();
    if (cleaned.compare(paramsAt, std::string::npos, parts.params) != 0)
        std::abort();
    if (parts.keyword.size() > paramsAt)
        std::abort();
    return 0;
}
