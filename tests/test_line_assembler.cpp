#include "LineAssembler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using quill::LineAssembler;

namespace {

// Feeds `bytes` in chunks of `chunk` bytes (0: as much as fits each time),
// the way the control connection reads them, and returns the lines.
std::vector<std::string> Feed(const std::string& bytes, std::size_t chunk, int size = 2048)
{
    LineAssembler lines(size);
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t n = std::min<std::size_t>(bytes.size() - pos, static_cast<std::size_t>(lines.FreeLength()));
        if (chunk)
            n = std::min(n, chunk);
        std::memcpy(lines.FreeSpace(), bytes.data() + pos, n);
        pos += n;
        lines.Commit(static_cast<int>(n), [&](std::string_view line) {
            out.emplace_back(line);
            return true;
        });
    }
    return out;
}

struct FramingCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
};

} // namespace

TEST(LineAssembler, FramesTheSameWayWhateverTheChunking)
{
    const std::string big2045(2045, 'a');
    const std::string big2046(2046, 'b');
    const std::vector<FramingCase> cases = {
        { "two lines in one packet", "USER a\r\nPASS b\r\n", { "USER a", "PASS b" } },
        { "bare LF ends a line", "NOOP\n", { "NOOP" } },
        { "CR inside a line stays", "NO\rOP\r\n", { "NO\rOP" } },
        { "only CR LF is the empty line", "\r\n", { "" } },
        { "incomplete line waits", "NOOP\r\nPW", { "NOOP" } },
        { "NUL bytes pass", std::string("A\0B\r\n", 5), { std::string("A\0B", 3) } },
        { "2045 bytes + CR LF is one line", big2045 + "\r\n", { big2045 } },
        { "2046 bytes + LF is one line", big2046 + "\n", { big2046 } },
        { "2046 bytes ending in CR + LF", std::string(2045, 'c') + "\r\n", { std::string(2045, 'c') } },
        { "2047 bytes without LF become OVER", std::string(2047, 'x'), { "OVER" } },
        { "after OVER the stream goes on", std::string(2047, 'x') + "y\r\nNOOP\r\n", { "OVER", "y", "NOOP" } },
    };
    for (const FramingCase& c : cases) {
        for (std::size_t chunk : { std::size_t { 1 }, std::size_t { 3 }, std::size_t { 700 }, std::size_t { 0 } }) {
            SCOPED_TRACE(std::string(c.name) + ", chunk " + std::to_string(chunk));
            EXPECT_EQ(Feed(c.bytes, chunk), c.lines);
        }
    }
}

TEST(LineAssembler, StopsWhenTheReceiverSaysSoAndKeepsTheRest)
{
    LineAssembler lines;
    const std::string bytes = "QUIT\r\nNOOP\r\n";
    std::memcpy(lines.FreeSpace(), bytes.data(), bytes.size());
    std::vector<std::string> seen;
    lines.Commit(static_cast<int>(bytes.size()), [&](std::string_view line) {
        seen.emplace_back(line);
        return false;
    });
    EXPECT_EQ(seen, std::vector<std::string> { "QUIT" });
    EXPECT_EQ(lines.Length(), 6);
}

TEST(LineAssembler, OneByteOfTheBufferAlwaysStaysFree)
{
    LineAssembler lines(2048);
    EXPECT_EQ(lines.FreeLength(), 2047);
    const std::string part(100, 'p');
    std::memcpy(lines.FreeSpace(), part.data(), part.size());
    lines.Commit(100, [](std::string_view) { return true; });
    EXPECT_EQ(lines.Length(), 100);
    EXPECT_EQ(lines.FreeLength(), 1947);
}
