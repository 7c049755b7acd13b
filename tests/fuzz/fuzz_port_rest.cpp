// PORT and REST arguments: whatever is accepted is a well-formed address,
// a port that exists and an offset that round-trips.
#include "DataArguments.h"

#include <arpa/inet.h>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto port = quill::ParsePortArgument(text)) {
        in_addr addr {};
        if (inet_pton(AF_INET, port->addr.c_str(), &addr) != 1)
            std::abort();
        if (port->port < 0 || port->port > 65535)
            std::abort();
    }
    if (const auto offset = quill::ParseRestOffset(text)) {
        // The digits read back give the same value.
        std::string digits;
        for (char c : text)
            if (c >= '0' && c <= '9')
                digits.push_back(c);
        const auto again = quill::ParseRestOffset(digits);
        if (!again || (*again != *offset && *again != -*offset))
            std::abort();
    }
    return 0;
}
