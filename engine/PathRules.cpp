#include "PathRules.h"

#include <algorithm>
#include <vector>

namespace quill {

namespace {

constexpr char kWinSep = '\\';
constexpr char kPosixSep = '/';

const char* const kUncRefused = "Cannot accept UNC path";
const char* const kBadSyntax = "Invalid directory name syntax";
const char* const kNotRelative = "Cannot accept path not relative to current directory";
const char* const kDotNotation = "Cannot accept relative path using dot notation";
const char* const kNoCurrentDir = "No current directory";

char LocalSeparator(PathStyle style)
{
    return style == PathStyle::Windows ? kWinSep : kPosixSep;
}

bool IsAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return AsciiLower(x) == AsciiLower(y);
    });
}

bool SameText(PathStyle style, std::string_view a, std::string_view b)
{
    return style == PathStyle::Windows ? EqualNoCase(a, b) : a == b;
}

// "C:" and the like. Only a letter makes a drive; "1:x" is a name with a
// stray colon and gets refused as such.
bool HasDrive(std::string_view text)
{
    return text.size() >= 2 && text[1] == ':' && IsAsciiLetter(text[0]);
}

bool StartsWith(std::string_view text, char c)
{
    return !text.empty() && text.front() == c;
}

bool EndsWith(std::string_view text, char c)
{
    return !text.empty() && text.back() == c;
}

// The fixed part of a Windows folder that navigation never leaves: the
// drive ("C:") or the server and share of a UNC name ("\\srv\share").
// Empty when the text has neither.
std::string_view WindowsRoot(std::string_view path)
{
    if (HasDrive(path))
        return path.substr(0, 2);
    if (!IsUncName(path))
        return {};
    const auto serverEnd = path.find(kWinSep, 2);
    if (serverEnd == std::string_view::npos)
        return path;
    const auto shareEnd = path.find(kWinSep, serverEnd + 1);
    return shareEnd == std::string_view::npos ? path : path.substr(0, shareEnd);
}

// The folder above `dir` (which ends with a separator), up to and
// including the separator before its last component; empty at the top.
std::string ParentOf(const std::string& dir, char sep)
{
    if (dir.size() < 2)
        return {};
    const auto pos = dir.rfind(sep, dir.size() - 2);
    return pos == std::string::npos ? std::string() : dir.substr(0, pos + 1);
}

std::string NonEmptyOr(std::string text, const std::string& fallback)
{
    return text.empty() ? fallback : text;
}

// The part of a current folder below its root, always ending with the
// separator.
std::string PathBelowRoot(const std::string& cur, std::size_t rootLength, char sep)
{
    std::string path = cur.substr(rootLength);
    if (!EndsWith(path, sep))
        path += sep;
    return path;
}

// What both styles share once the name is split: `root` is the name's own
// root (or the current one when it has none), `rest` what follows it.
struct DirRequest {
    std::string root;
    std::string rest;
    bool ownRoot = false; // the name carried its own drive/share (or, POSIX, was absolute)
};

struct CurrentFolder {
    std::string root;
    std::string path; // below the root, ending with the separator
    bool known = false;
};

std::string Navigate(char sep, const CurrentFolder& cur, DirRequest req)
{
    const std::string dotSep { '.', sep };
    // A drive letter given in another case is still the same drive.
    const bool sameRoot = cur.known && EqualNoCase(req.root, cur.root);

    // Nothing below may invent a folder when there is no current one to
    // build on.
    if (!req.ownRoot && !cur.known)
        throw EFtpPathError(kNoCurrentDir);

    std::string& rest = req.rest;
    if (rest == "..") {
        if (!cur.known)
            throw EFtpPathError(kNoCurrentDir);
        // "D:.." from drive C: would otherwise climb C:'s path on D:.
        if (!sameRoot)
            throw EFtpPathError(kNotRelative);
        // The dot check below is for what the visitor typed; the parent
        // of a folder reached through "x/.." may well contain "../".
        // At the top the parent is the folder itself.
        return req.root + NonEmptyOr(ParentOf(cur.path, sep), cur.path);
    }

    if (!rest.empty() && rest.front() != sep) {
        if (!cur.known)
            throw EFtpPathError(kNoCurrentDir);
        if (!sameRoot)
            throw EFtpPathError(kNotRelative);
        if (rest.find(dotSep) != std::string::npos)
            throw EFtpPathError(kDotNotation);
        rest = rest == "." ? cur.path : cur.path + rest;
    } else if (rest.find(dotSep) != std::string::npos) {
        throw EFtpPathError(kDotNotation);
    }

    if (rest.empty())
        rest = sameRoot ? cur.path : std::string(1, sep);
    if (!EndsWith(rest, sep))
        rest += sep;
    return req.root + rest;
}

std::string ChangeDirWindows(const std::string& cur, const std::string& rawName, bool acceptUnc)
{
    // Windows never allows "/" inside a name, so converting here is
    // harmless for a visitor's name and lets an owner write a home folder
    // with slashes.
    std::string name = SlashesToBackslashes(rawName);
    if (!cur.empty() && name == cur)
        return cur;

    // "/C:/Music" as a visitor sends it.
    if (name.size() >= 3 && name[0] == kWinSep && IsAsciiLetter(name[1]) && name[2] == ':')
        name.erase(0, 1);

    const bool unc = IsUncName(name);
    if (unc && !acceptUnc)
        throw EFtpPathError(kUncRefused);

    CurrentFolder current;
    current.root = std::string(WindowsRoot(cur));
    current.known = !current.root.empty();
    if (current.known)
        current.path = PathBelowRoot(cur, current.root.size(), kWinSep);

    DirRequest req;
    if (unc) {
        if (name.find(':') != std::string::npos)
            throw EFtpPathError(kBadSyntax);
        req.root = std::string(WindowsRoot(name));
        req.rest = name.substr(req.root.size());
        req.ownRoot = true;
    } else if (HasDrive(name)) {
        req.root = name.substr(0, 2);
        req.rest = name.substr(2);
        req.ownRoot = true;
    } else {
        req.root = current.root;
        req.rest = name;
    }
    if (req.rest.find(':') != std::string::npos)
        throw EFtpPathError(kBadSyntax);
    return Navigate(kWinSep, current, std::move(req));
}

std::string ChangeDirPosix(const std::string& cur, const std::string& name, bool acceptUnc)
{
    if (!cur.empty() && name == cur)
        return cur;
    if (name.size() >= 2 && name[0] == kPosixSep && name[1] == kPosixSep && !acceptUnc)
        throw EFtpPathError(kUncRefused);

    CurrentFolder current;
    current.known = StartsWith(cur, kPosixSep);
    if (current.known)
        current.path = PathBelowRoot(cur, 0, kPosixSep);

    DirRequest req;
    req.rest = name;
    req.ownRoot = StartsWith(name, kPosixSep);
    return Navigate(kPosixSep, current, std::move(req));
}

std::string ResolveWindows(const std::string& cur, const std::string& rawName)
{
    std::string name = SlashesToBackslashes(rawName);
    if (name.size() >= 3 && name[0] == kWinSep && IsAsciiLetter(name[1]) && name[2] == ':')
        name.erase(0, 1);
    if (IsUncName(name))
        return name;

    const std::string_view curRoot = WindowsRoot(cur);
    std::string root;
    std::string rest;
    const bool ownDrive = HasDrive(name);
    if (ownDrive) {
        root = { AsciiUpper(name[0]), ':' };
        rest = name.substr(2);
    } else {
        root = std::string(curRoot);
        rest = name;
    }

    if (StartsWith(rest, kWinSep))
        return root + rest;
    // Drive letters are case-blind: "d:file" in "d:\x\" is that folder's file.
    if (ownDrive && !EqualNoCase(root, curRoot))
        throw EFtpPathError("No current dir for '" + root + "'");
    if (rest.empty())
        return cur;
    if (cur.empty())
        return rest;
    return EndsWith(cur, kWinSep) ? cur + rest : cur + kWinSep + rest;
}

std::string ResolvePosix(const std::string& cur, const std::string& rawName)
{
    std::string name = BackslashesToSlashes(rawName);
    if (StartsWith(name, kPosixSep))
        return name;
    if (name.empty())
        return cur;
    if (cur.empty())
        return name;
    return EndsWith(cur, kPosixSep) ? cur + name : cur + kPosixSep + name;
}

// A path taken apart for collapsing and comparing.
struct PathParts {
    enum class Anchor {
        Relative, // "a/b"
        DriveRelative, // Windows "C:a"
        Rooted, // Windows "\a": the root of whatever drive is current
        Absolute, // POSIX "/a", Windows "C:\a"
        Unc, // Windows "\\server\share\a"
    };
    Anchor anchor = Anchor::Relative;
    std::string root; // "/", "C:\", "C:", "\", "\\server\share" or empty
    std::vector<std::string> components;
    bool trailingSeparator = false;

    bool FullyQualified() const { return anchor == Anchor::Absolute || anchor == Anchor::Unc; }
    bool CanClimbAboveStart() const { return anchor == Anchor::Relative || anchor == Anchor::DriveRelative; }
};

std::vector<std::string_view> SplitNonEmpty(std::string_view text, char sep)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find(sep, start);
        if (end == std::string_view::npos)
            end = text.size();
        if (end > start)
            parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

PathParts Analyse(PathStyle style, std::string_view rawPath)
{
    const char sep = LocalSeparator(style);
    const std::string path
        = style == PathStyle::Windows ? SlashesToBackslashes(rawPath) : std::string(rawPath);

    PathParts parts;
    std::string_view body = path;
    std::vector<std::string_view> pieces;
    if (style == PathStyle::Posix) {
        if (StartsWith(path, sep)) {
            parts.anchor = PathParts::Anchor::Absolute;
            parts.root = "/";
        }
        pieces = SplitNonEmpty(body, sep);
    } else if (IsUncName(path)) {
        parts.anchor = PathParts::Anchor::Unc;
        pieces = SplitNonEmpty(body, sep);
        // Security: "\\server\share" is the root; ".." below never leaves it,
        // whatever the server and share are called.
        parts.root = "\\\\";
        std::size_t taken = 0;
        for (; taken < 2 && taken < pieces.size(); ++taken) {
            if (taken > 0)
                parts.root += sep;
            parts.root += pieces[taken];
        }
        pieces.erase(pieces.begin(), pieces.begin() + static_cast<std::ptrdiff_t>(taken));
    } else if (HasDrive(path)) {
        const bool absolute = path.size() > 2 && path[2] == sep;
        parts.anchor = absolute ? PathParts::Anchor::Absolute : PathParts::Anchor::DriveRelative;
        parts.root = absolute ? path.substr(0, 3) : path.substr(0, 2);
        pieces = SplitNonEmpty(body.substr(2), sep);
    } else {
        if (StartsWith(path, sep)) {
            parts.anchor = PathParts::Anchor::Rooted;
            parts.root = "\\";
        }
        pieces = SplitNonEmpty(body, sep);
    }

    for (const auto piece : pieces) {
        if (piece == ".")
            continue;
        if (piece == "..") {
            if (!parts.components.empty() && parts.components.back() != "..")
                parts.components.pop_back();
            else if (parts.CanClimbAboveStart())
                parts.components.emplace_back(piece);
            // Security: otherwise we are at the root and stay there.
            continue;
        }
        parts.components.emplace_back(piece);
    }
    parts.trailingSeparator = EndsWith(path, sep);
    return parts;
}

std::string Format(PathStyle style, const PathParts& parts)
{
    const char sep = LocalSeparator(style);
    std::string out = parts.root;
    if (parts.components.empty()) {
        if (parts.anchor == PathParts::Anchor::Unc && parts.trailingSeparator && !EndsWith(out, sep))
            out += sep;
        if (out.empty())
            out = ".";
        return out;
    }
    if (parts.anchor == PathParts::Anchor::Unc)
        out += sep;
    for (std::size_t i = 0; i < parts.components.size(); ++i) {
        if (i > 0)
            out += sep;
        out += parts.components[i];
    }
    if (parts.trailingSeparator)
        out += sep;
    return out;
}

// Windows drops trailing dots and blanks from names and reads a colon as
// the start of a stream name, so such a component may not be the file
// its text suggests.
bool AmbiguousOnWindows(std::string_view component)
{
    return component.find(':') != std::string_view::npos || component.back() == '.'
        || component.back() == ' ';
}

} // namespace

std::string SlashesToBackslashes(std::string_view text)
{
    std::string out(text);
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

std::string BackslashesToSlashes(std::string_view text)
{
    std::string out(text);
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

bool IsUncName(std::string_view text)
{
    return text.size() >= 2 && text[0] == '\\' && text[1] == '\\';
}

std::string ToLocalSeparators(PathStyle style, std::string_view name)
{
    return style == PathStyle::Windows ? SlashesToBackslashes(name) : BackslashesToSlashes(name);
}

std::string DisplayForm(PathStyle style, std::string_view dir)
{
    return style == PathStyle::Windows ? BackslashesToSlashes(dir) : std::string(dir);
}

std::string ChangeDir(PathStyle style, const std::string& cur, const std::string& name, bool acceptUnc)
{
    return style == PathStyle::Windows ? ChangeDirWindows(cur, name, acceptUnc)
                                       : ChangeDirPosix(cur, name, acceptUnc);
}

std::string ResolveFilePath(PathStyle style, const std::string& cur, const std::string& name)
{
    return style == PathStyle::Windows ? ResolveWindows(cur, name) : ResolvePosix(cur, name);
}

std::string CollapseDots(PathStyle style, std::string_view path)
{
    if (path.empty())
        return {};
    return Format(style, Analyse(style, path));
}

bool IsWithinFolder(PathStyle style, std::string_view folder, std::string_view path)
{
    // Security: an empty folder contains nothing.
    if (folder.empty() || path.empty())
        return false;
    // Security: the file system stops reading at a NUL, so "/etc/passwd\0/../../srv/x"
    // would be judged by its tail and opened by its head.
    if (folder.find('\0') != std::string_view::npos || path.find('\0') != std::string_view::npos)
        return false;

    const PathParts outer = Analyse(style, folder);
    const PathParts inner = Analyse(style, path);
    // Security: only fully qualified paths can be placed; a relative one
    // depends on a current folder we do not know here.
    if (!outer.FullyQualified() || !inner.FullyQualified())
        return false;
    // Security: "C:\" and "\\srv\share" are different roots even when the rest matches.
    if (outer.anchor != inner.anchor || !SameText(style, outer.root, inner.root))
        return false;
    // Security: compare whole components, so "/srv/share2" is not inside "/srv/share".
    if (inner.components.size() < outer.components.size())
        return false;
    for (std::size_t i = 0; i < outer.components.size(); ++i) {
        // Case folding is ASCII only: it may miss a match the file system
        // would make, never invent one.
        if (!SameText(style, outer.components[i], inner.components[i]))
            return false;
    }
    // Security: on Windows refuse names the file system would read differently.
    if (style == PathStyle::Windows
        && std::any_of(inner.components.begin(), inner.components.end(),
            [](const std::string& c) { return AmbiguousOnWindows(c); }))
        return false;
    return true;
}

} // namespace quill
