// Path rules: how a name sent by a visitor becomes a local path, in two styles.
//
// The Windows style has drive letters, backslash separators and UNC names;
// the POSIX style has one root, "/" separators and treats a "\" sent by a
// visitor as a separator too. Both are pure functions over text: nothing here
// touches the disk, so both styles are tested on every platform.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace quill {

enum class PathStyle { Windows, Posix };

// The style of the machine the engine runs on.
constexpr PathStyle HostPathStyle()
{
#ifdef _WIN32
    return PathStyle::Windows;
#else
    return PathStyle::Posix;
#endif
}

// A refused name; what() is the reason sent to the visitor.
class EFtpPathError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string SlashesToBackslashes(std::string_view text);
std::string BackslashesToSlashes(std::string_view text);
// True when the text begins with two backslashes.
bool IsUncName(std::string_view text);

// Turns the separators a visitor may send into the style's local separator
// ("/" -> "\" in the Windows style, "\" -> "/" in the POSIX style).
std::string ToLocalSeparators(PathStyle style, std::string_view name);

// The form in which a folder is shown to a visitor (PWD, CWD replies).
std::string DisplayForm(PathStyle style, std::string_view dir);

// Makes `name` the new current folder relative to `cur`; returns it in local
// form ending with the separator. Strict: throws EFtpPathError with the
// refusal text for UNC names, dot notation and (Windows) foreign drives or
// stray colons. Never looks at the disk.
std::string ChangeDir(PathStyle style, const std::string& cur, const std::string& name,
                      bool acceptUnc = false);

// Turns a file name sent by a visitor into a local path against `cur`.
// Lenient: passes dots, absolute and UNC names through; throws EFtpPathError
// only for a relative name on another drive (Windows style).
std::string ResolveFilePath(PathStyle style, const std::string& cur, const std::string& name);

// Collapses "." and ".." components of an absolute local path (".." at the
// root stays at the root). Separators are normalised to the local one and
// repeated separators folded; a trailing separator is kept.
std::string CollapseDots(PathStyle style, std::string_view path);

// True when `path` (absolute, local form) is `folder` itself or lies inside
// it once both are collapsed, compared component by component
// (case-insensitively in the Windows style). An empty folder contains nothing.
bool IsWithinFolder(PathStyle style, std::string_view folder, std::string_view path);

} // namespace quill
