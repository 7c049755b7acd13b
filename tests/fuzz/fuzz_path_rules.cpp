// The path rules of both styles. Properties: a current folder made by
// ChangeDir always ends with the separator (and, in the Windows style,
// starts with a drive); and with confinement, a name resolved, collapsed and
// admitted by IsWithinFolder lies inside the folder, text-wise.
#include "PathRules.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace quill;

namespace {

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

void Check(PathStyle style, const std::string& folder, const std::string& cur, const std::string& name)
{
    const char sep = style == PathStyle::Windows ? '\\' : '/';
    try {
        const std::string next = ChangeDir(style, cur, ToLocalSeparators(style, name));
        if (next.empty() || next.back() != sep)
            std::abort();
        if (style == PathStyle::Windows && !(next.size() >= 3 && std::isalpha(static_cast<unsigned char>(next[0]))
                                               && next[1] == ':' && next[2] == '\\'))
            std::abort();
        if (style == PathStyle::Posix && next[0] != '/')
            std::abort();
    } catch (const EFtpPathError&) {
    }
    try {
        const std::string path = CollapseDots(style, ResolveFilePath(style, cur, name));
        if (!IsWithinFolder(style, folder, path))
            return;
        const bool fold = style == PathStyle::Windows;
        const std::string p = fold ? Lower(path) : path;
        const std::string f = fold ? Lower(folder) : folder;
        if (p != f && p.rfind(f + sep, 0) != 0)
            std::abort(); // admitted, yet not the folder or below it
        const std::string wrapped = std::string(1, sep) + p + std::string(1, sep);
        if (wrapped.find(std::string(1, sep) + ".." + sep) != std::string::npos)
            std::abort(); // a ".." left for the file system to climb with
    } catch (const EFtpPathError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\n');
    const std::string sub = split == std::string::npos ? "" : input.substr(0, split);
    const std::string name = split == std::string::npos ? input : input.substr(split + 1);
    Check(PathStyle::Posix, "/srv/share", "/srv/share/" + (sub.empty() ? "" : sub + "/"), name);
    Check(PathStyle::Windows, "C:\\Share", "C:\\Share\\" + (sub.empty() ? "" : sub + "\\"), name);
    return 0;
}
