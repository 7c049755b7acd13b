// Listing masks: no crash on any mask or name; "*" and "*.*" match every
// name; a name without wildcards matches itself.
#include "ListingFormat.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string mask = split == std::string::npos ? input : input.substr(0, split);
    const std::string name = split == std::string::npos ? input : input.substr(split + 1);
    (void)quill::MaskMatches(mask, name);
    if (name.empty() || name.find('/') != std::string::npos)
        return 0;
    if (!quill::MaskMatches("*", name) || !quill::MaskMatches("*.*", name))
        std::abort();
    if (name.find_first_of("*?") == std::string::npos && !quill::MaskMatches(name, name))
        std::abort();
    return 0;
}
