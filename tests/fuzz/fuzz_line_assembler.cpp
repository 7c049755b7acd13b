// Property: the same bytes give the same lines, each exactly once, whatever
// the chunking of the reads.
#include "LineAssembler.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Feed(const uint8_t* data, size_t size, uint32_t seed)
{
    quill::LineAssembler lines;
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < size) {
        size_t n = std::min<size_t>(size - pos, static_cast<size_t>(lines.FreeLength()));
        if (seed != 0) {
            seed = seed * 1103515245u + 12345u;
            n = std::min<size_t>(n, 1 + (seed >> 16) % 97);
        }
        std::memcpy(lines.FreeSpace(), data + pos, n);
        pos += n;
        lines.Commit(static_cast<int>(n), [&](std::string_view line) {
            if (line.find('\n') != std::string_view::npos)
                std::abort(); // a line never holds its own end
            out.emplace_back(line);
            return true;
        });
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    uint32_t seed;
    std::memcpy(&seed, data, 4);
    const std::vector<std::string> whole = Feed(data + 4, size - 4, 0);
    if (Feed(data + 4, size - 4, seed | 1) != whole)
        std::abort();
    if (Feed(data + 4, size - 4, 0x9e3779b9u) != whole)
        std::abort();
    return 0;
}
