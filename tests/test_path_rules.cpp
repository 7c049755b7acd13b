#include "PathRules.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using quill::PathStyle;
using namespace std::string_literals;

namespace {

constexpr auto Win = PathStyle::Windows;
constexpr auto Posix = PathStyle::Posix;

// The refusal text of a call, or a marker when it did not refuse.
template <typename Fn> std::string RefusalOf(Fn&& fn)
{
    try {
        const std::string result = fn();
        return "<accepted: " + result + ">";
    } catch (const quill::EFtpPathError& e) {
        return e.what();
    }
}

struct DirCase {
    const char* label;
    std::string cur;
    std::string name;
    std::string expected;
    bool acceptUnc = false;
};

struct RefusalCase {
    const char* label;
    std::string cur;
    std::string name;
    std::string message;
    bool acceptUnc = false;
};

struct ResolveCase {
    const char* label;
    std::string cur;
    std::string name;
    std::string expected;
};

struct CollapseCase {
    const char* label;
    std::string path;
    std::string expected;
};

struct WithinCase {
    const char* label;
    std::string folder;
    std::string path;
    bool inside;
};

const std::string kUnc = "Cannot accept UNC path";
const std::string kSyntax = "Invalid directory name syntax";
const std::string kNotRelative = "Cannot accept path not relative to current directory";
const std::string kDots = "Cannot accept relative path using dot notation";
const std::string kNoCur = "No current directory";

void CheckChangeDir(PathStyle style, const std::vector<DirCase>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(RefusalOf([&] { return quill::ChangeDir(style, c.cur, c.name, c.acceptUnc); }),
            "<accepted: " + c.expected + ">");
    }
}

void CheckRefusals(PathStyle style, const std::vector<RefusalCase>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(RefusalOf([&] { return quill::ChangeDir(style, c.cur, c.name, c.acceptUnc); }), c.message);
    }
}

void CheckResolve(PathStyle style, const std::vector<ResolveCase>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(RefusalOf([&] { return quill::ResolveFilePath(style, c.cur, c.name); }),
            "<accepted: " + c.expected + ">");
    }
}

void CheckCollapse(PathStyle style, const std::vector<CollapseCase>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(quill::CollapseDots(style, c.path), c.expected);
    }
}

void CheckWithin(PathStyle style, const std::vector<WithinCase>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(quill::IsWithinFolder(style, c.folder, c.path), c.inside) << c.folder << " vs " << c.path;
    }
}

} // namespace

TEST(PathRulesText, SeparatorsUncAndDisplayForm)
{
    EXPECT_EQ(quill::SlashesToBackslashes("/a/b\\c/"), "\\a\\b\\c\\");
    EXPECT_EQ(quill::BackslashesToSlashes("\\a\\b/c\\"), "/a/b/c/");

    EXPECT_TRUE(quill::IsUncName("\\\\"));
    EXPECT_TRUE(quill::IsUncName("\\\\srv\\share"));
    EXPECT_FALSE(quill::IsUncName("\\"));
    EXPECT_FALSE(quill::IsUncName("//srv/share"));
    EXPECT_FALSE(quill::IsUncName("\\/srv"));
    EXPECT_FALSE(quill::IsUncName(""));

    EXPECT_EQ(quill::ToLocalSeparators(Win, "/Docs/a\\b"), "\\Docs\\a\\b");
    EXPECT_EQ(quill::ToLocalSeparators(Posix, "\\Docs\\a/b"), "/Docs/a/b");

    EXPECT_EQ(quill::DisplayForm(Win, "C:\\Shared\\Music\\"), "C:/Shared/Music/");
    EXPECT_EQ(quill::DisplayForm(Posix, "/srv/odd\\name/"), "/srv/odd\\name/");
}

TEST(PathRulesWindows, ChangeDirAccepts)
{
    const std::string shared = "C:\\Shared\\";
    CheckChangeDir(Win,
        {
            { "dotdot climbs one level", "C:\\Shared\\Music\\", "..", "C:\\Shared\\" },
            { "dotdot at the drive root stays", "C:\\", "..", "C:\\" },
            { "dotdot from a first-level folder", shared, "..", "C:\\" },
            { "dot keeps the folder", shared, ".", shared },
            { "empty name keeps the folder", shared, "", shared },
            { "same text as current", shared, shared, shared },
            { "root of the current drive", shared, "\\", "C:\\" },
            { "absolute on the current drive", shared, "\\Docs", "C:\\Docs\\" },
            { "slashes from an owner's home folder", shared, "/Docs/x", "C:\\Docs\\x\\" },
            { "bare other drive goes to its root", shared, "D:", "D:\\" },
            { "bare current drive keeps the folder", shared, "C:", shared },
            { "bare drive keeps the case as written", shared, "c:", "c:\\Shared\\" },
            { "drive-relative on the current drive", shared, "c:sub", "c:\\Shared\\sub\\" },
            { "dotdot with the current drive", "C:\\Shared\\Music\\", "C:..", "C:\\Shared\\" },
            { "leading backslash before a drive", shared, "\\C:\\Music", "C:\\Music\\" },
            { "lower-case drive is kept", shared, "d:\\x", "d:\\x\\" },
            { "absolute on another drive", shared, "D:\\Docs\\", "D:\\Docs\\" },
            { "no existence check", shared, "NoSuchFolder", "C:\\Shared\\NoSuchFolder\\" },
            { "trailing separator not doubled", shared, "sub\\", "C:\\Shared\\sub\\" },
            { "trailing dotdot passes the dot check", shared, "x\\..", "C:\\Shared\\x\\..\\" },
            { "three dots is a name", shared, "...", "C:\\Shared\\...\\" },
            { "dotdot out of a folder reached through x\\..", "C:\\Shared\\x\\..\\", "..",
                "C:\\Shared\\x\\" },
            { "current folder without trailing separator", "C:\\Shared", "sub", "C:\\Shared\\sub\\" },
            { "absolute name needs no current folder", "", "C:\\x", "C:\\x\\" },
            { "bare drive needs no current folder", "", "D:", "D:\\" },
            { "UNC accepted when allowed", shared, "\\\\srv\\share\\a", "\\\\srv\\share\\a\\", true },
            { "relative inside a UNC folder", "\\\\srv\\share\\a\\", "sub", "\\\\srv\\share\\a\\sub\\" },
            { "absolute inside a UNC share", "\\\\srv\\share\\a\\", "\\x", "\\\\srv\\share\\x\\" },
            { "dotdot stops at the UNC share", "\\\\srv\\share\\", "..", "\\\\srv\\share\\" },
        });
}

TEST(PathRulesWindows, ChangeDirRefusals)
{
    const std::string shared = "C:\\Shared\\";
    CheckRefusals(Win,
        {
            { "UNC name", shared, "\\\\server\\share", kUnc },
            { "UNC name sent with slashes", shared, "//server/share", kUnc },
            { "UNC refused before anything else", "", "\\\\server\\a:b", kUnc },
            { "second colon", shared, "a:b:c", kSyntax },
            { "colon after an absolute drive", shared, "C:\\a:b", kSyntax },
            { "colon in a plain name", shared, "a\\b:c", kSyntax },
            { "digit is not a drive", shared, "1:x", kSyntax },
            { "colon in an allowed UNC name", shared, "\\\\srv\\share\\a:b", kSyntax, true },
            { "relative on another drive", shared, "D:Docs", kNotRelative },
            { "dotdot on another drive", shared, "D:..", kNotRelative },
            { "dotdot then a name", shared, "..\\x", kDots },
            { "dot then a name", shared, ".\\x", kDots },
            { "dotdot in the middle", shared, "x\\..\\y", kDots },
            { "dot in an absolute name", shared, "\\a\\.\\b", kDots },
            { "dotdot in an absolute name with drive", shared, "C:\\x\\..\\y", kDots },
            { "dotdot in an allowed UNC name", shared, "\\\\srv\\share\\..\\x", kDots, true },
            { "relative without current folder", "", "x", kNoCur },
            { "dot without current folder", "", ".", kNoCur },
            { "dotdot without current folder", "", "..", kNoCur },
            { "empty name without current folder", "", "", kNoCur },
            { "absolute without drive and without current folder", "", "\\x", kNoCur },
            { "drive-relative without current folder", "", "D:x", kNoCur },
            { "drive dotdot without current folder", "", "D:..", kNoCur },
            { "current folder without a drive counts as none", "Shared\\", "x", kNoCur },
        });
}

TEST(PathRulesPosix, ChangeDirAccepts)
{
    const std::string share = "/srv/share/";
    CheckChangeDir(Posix,
        {
            { "dotdot climbs one level", "/srv/share/music/", "..", share },
            { "dotdot at the root stays", "/", "..", "/" },
            { "dotdot to the root", "/srv/", "..", "/" },
            { "dot keeps the folder", share, ".", share },
            { "empty name keeps the folder", share, "", share },
            { "same text as current", share, share, share },
            { "root", share, "/", "/" },
            { "absolute", share, "/docs", "/docs/" },
            { "relative", share, "sub", "/srv/share/sub/" },
            { "trailing separator not doubled", share, "sub/", "/srv/share/sub/" },
            { "trailing dotdot passes the dot check", share, "x/..", "/srv/share/x/../" },
            { "absolute trailing dotdot passes", share, "/a/..", "/a/../" },
            { "colons are ordinary", share, "a:b", "/srv/share/a:b/" },
            { "backslash is an ordinary character here", share, "back\\slash", "/srv/share/back\\slash/" },
            { "dotdot out of a folder reached through x/..", "/srv/share/x/../", "..", "/srv/share/x/" },
            { "current folder without trailing separator", "/srv", "a", "/srv/a/" },
            { "absolute name needs no current folder", "", "/x", "/x/" },
            { "root needs no current folder", "", "/", "/" },
            { "double slash accepted when allowed", share, "//srv/x", "//srv/x/", true },
        });
}

TEST(PathRulesPosix, ChangeDirRefusals)
{
    const std::string share = "/srv/share/";
    CheckRefusals(Posix,
        {
            { "double slash", share, "//srv/share", kUnc },
            { "dotdot then a name", share, "../x", kDots },
            { "dot then a name", share, "./x", kDots },
            { "dotdot in the middle", share, "x/../y", kDots },
            { "dot in an absolute name", share, "/a/./b", kDots },
            { "dotdot in an absolute name", share, "/a/../b", kDots },
            { "relative without current folder", "", "x", kNoCur },
            { "dot without current folder", "", ".", kNoCur },
            { "dotdot without current folder", "", "..", kNoCur },
            { "empty name without current folder", "", "", kNoCur },
            { "relative current folder counts as none", "srv/", "x", kNoCur },
        });
}

TEST(PathRulesWindows, ResolveFilePath)
{
    const std::string shared = "C:\\Shared\\";
    CheckResolve(Win,
        {
            { "relative with slashes", shared, "sub/a.txt", "C:\\Shared\\sub\\a.txt" },
            { "absolute on the current drive", shared, "/a.txt", "C:\\a.txt" },
            { "absolute on another drive", shared, "D:\\a.txt", "D:\\a.txt" },
            { "absolute drive is upper-cased", shared, "d:/a.txt", "D:\\a.txt" },
            { "UNC passes through", shared, "//srv/s/a.txt", "\\\\srv\\s\\a.txt" },
            { "dots pass through", shared, "../a.txt", "C:\\Shared\\..\\a.txt" },
            { "colon after the drive passes", shared, "x\\a:b", "C:\\Shared\\x\\a:b" },
            { "empty name is the folder", shared, "", shared },
            { "leading slash before a drive", shared, "/C:/Music/a.mp3", "C:\\Music\\a.mp3" },
            { "drive-relative on the current drive", shared, "C:a.txt", "C:\\Shared\\a.txt" },
            { "drive letter case does not matter", shared, "c:a.txt", "C:\\Shared\\a.txt" },
            { "lower-case current drive", "d:\\x\\", "d:file", "d:\\x\\file" },
            { "upper-case name on lower-case drive", "d:\\x\\", "D:file", "d:\\x\\file" },
            { "no current folder: relative unchanged", "", "sub/a.txt", "sub\\a.txt" },
            { "no current folder: absolute unchanged", "", "/a.txt", "\\a.txt" },
            { "no current folder: drive absolute", "", "D:\\a", "D:\\a" },
            { "no current folder: empty name", "", "", "" },
            { "current folder without trailing separator", "C:\\Shared", "a.txt", "C:\\Shared\\a.txt" },
            { "relative in a UNC folder", "\\\\srv\\share\\dir\\", "a.txt", "\\\\srv\\share\\dir\\a.txt" },
            { "absolute in a UNC folder stays on the share", "\\\\srv\\share\\dir\\", "\\a.txt",
                "\\\\srv\\share\\a.txt" },
        });

    for (const auto& [cur, name, message] : std::vector<std::tuple<std::string, std::string, std::string>> {
             { shared, "d:a.txt", "No current dir for 'D:'" },
             { shared, "D:sub/a.txt", "No current dir for 'D:'" },
             { "", "D:a", "No current dir for 'D:'" },
             { "\\\\srv\\share\\", "c:a", "No current dir for 'C:'" },
         }) {
        SCOPED_TRACE(name);
        EXPECT_EQ(RefusalOf([&] { return quill::ResolveFilePath(Win, cur, name); }), message);
    }
}

TEST(PathRulesPosix, ResolveFilePath)
{
    const std::string share = "/srv/share/";
    CheckResolve(Posix,
        {
            { "relative", share, "sub/a.txt", "/srv/share/sub/a.txt" },
            { "relative with backslashes", share, "sub\\a.txt", "/srv/share/sub/a.txt" },
            { "absolute", share, "/etc/x", "/etc/x" },
            { "absolute with backslashes", share, "\\etc\\x", "/etc/x" },
            { "double slash passes through", share, "//srv/x", "//srv/x" },
            { "double backslash becomes double slash", share, "\\\\srv\\x", "//srv/x" },
            { "dots pass through", share, "../a", "/srv/share/../a" },
            { "colons are ordinary", share, "a:b", "/srv/share/a:b" },
            { "empty name is the folder", share, "", share },
            { "current folder without trailing separator", "/srv/share", "a", "/srv/share/a" },
            { "no current folder: relative unchanged", "", "a/b", "a/b" },
            { "no current folder: empty name", "", "", "" },
        });
}

TEST(PathRulesWindows, CollapseDots)
{
    CheckCollapse(Win,
        {
            { "drive root", "C:\\", "C:\\" },
            { "dotdot at the drive root", "C:\\..", "C:\\" },
            { "climb past the root", "C:\\a\\..\\..\\x", "C:\\x" },
            { "slashes, dots, trailing separator", "c:/a/./b/", "c:\\a\\b\\" },
            { "repeated separators", "C:\\\\a\\\\\\b", "C:\\a\\b" },
            { "trailing dotdot drops the separator", "C:\\a\\b\\..", "C:\\a" },
            { "dotdot with trailing separator", "C:\\a\\b\\..\\", "C:\\a\\" },
            { "three dots is a name", "C:\\a\\...\\b", "C:\\a\\...\\b" },
            { "UNC share is the root", "\\\\srv\\share\\..\\..\\x", "\\\\srv\\share\\x" },
            { "UNC with slashes", "//srv/share/a/..", "\\\\srv\\share" },
            { "UNC root with trailing separator", "\\\\srv\\share\\", "\\\\srv\\share\\" },
            { "rooted without a drive", "\\a\\..\\..", "\\" },
            { "drive-relative keeps leading dotdot", "C:a\\..\\..\\b", "C:..\\b" },
            { "empty", "", "" },
        });
}

TEST(PathRulesPosix, CollapseDots)
{
    CheckCollapse(Posix,
        {
            { "root", "/", "/" },
            { "dotdot at the root", "/..", "/" },
            { "dotdot", "/srv/share/..", "/srv" },
            { "dotdot with trailing separator", "/srv/share/../", "/srv/" },
            { "dot components", "/srv/./share/.", "/srv/share" },
            { "repeated separators", "//srv///share//", "/srv/share/" },
            { "climb past the root", "/a/../../x", "/x" },
            { "dot-led names are names", "/a/.hidden/..x/...", "/a/.hidden/..x/..." },
            { "backslash is not a separator", "/a\\..\\b", "/a\\..\\b" },
            { "relative keeps leading dotdot", "a/../../b", "../b" },
            { "relative collapsing to nothing", "a/..", "." },
            { "empty", "", "" },
        });
}

TEST(PathRulesWindows, IsWithinFolder)
{
    const std::string shared = "C:\\Shared";
    CheckWithin(Win,
        {
            { "the folder itself", shared, "C:\\Shared", true },
            { "case-insensitive, drive included", shared, "c:\\SHARED\\Music", true },
            { "slashes", shared, "C:/Shared/a", true },
            { "folder with trailing separator", "C:\\Shared\\", "C:\\Shared", true },
            { "path with trailing separator", shared, "C:\\Shared\\a\\", true },
            { "prefix but not a component", shared, "C:\\Shared2", false },
            { "folder name deeper elsewhere", shared, "C:\\tmp\\Shared", false },
            { "other drive", shared, "D:\\Shared\\a", false },
            { "dotdot out", shared, "C:\\Shared\\..", false },
            { "dotdot out and back in", shared, "C:\\Shared\\a\\..\\..\\Shared\\b", true },
            { "dotdot clamps at the root", shared, "C:\\x\\..\\..\\..\\Shared\\a", true },
            { "dot and repeated separators", shared, "C:\\\\.\\Shared\\\\a", true },
            { "folder with dots", "C:\\x\\..\\Shared", "C:\\Shared\\a", true },
            { "UNC path against a drive folder", shared, "\\\\srv\\share\\Shared", false },
            { "rooted path without a drive", shared, "\\Shared\\a", false },
            { "drive-relative path", shared, "C:Shared\\a", false },
            { "relative path", shared, "Shared\\a", false },
            { "drive root contains the drive", "C:\\", "c:\\anything\\at\\all", true },
            { "UNC share, case-insensitive", "\\\\srv\\share", "\\\\SRV\\Share\\a", true },
            { "dotdot clamps at the UNC share", "\\\\srv\\share", "\\\\srv\\share\\..\\other", true },
            { "other UNC share", "\\\\srv\\share", "\\\\srv\\share2\\a", false },
            { "drive path against a UNC folder", "\\\\srv\\share", "C:\\share", false },
            { "trailing dot", shared, "C:\\Shared\\a.", false },
            { "three dots", shared, "C:\\Shared\\...\\x", false },
            { "trailing blank", shared, "C:\\Shared\\x \\y", false },
            { "stream name", shared, "C:\\Shared\\a:stream", false },
            { "empty folder", "", "C:\\", false },
            { "empty path", shared, "", false },
        });
}

TEST(PathRulesPosix, IsWithinFolder)
{
    const std::string share = "/srv/share";
    CheckWithin(Posix,
        {
            { "the folder itself", share, "/srv/share", true },
            { "inside", share, "/srv/share/a/b", true },
            { "folder with trailing separator", "/srv/share/", "/srv/share", true },
            { "path with trailing separator", share, "/srv/share/a/", true },
            { "prefix but not a component", share, "/srv/share2", false },
            { "folder path nested elsewhere", share, "/tmp/x/srv/share", false },
            { "parent", share, "/srv", false },
            { "dotdot out", share, "/srv/share/..", false },
            { "dotdot out and back in", share, "/srv/share/a/../../share/b", true },
            { "dotdot escapes", share, "/srv/share/a/../../../etc", false },
            { "dotdot clamps at the root", share, "/../../srv/share/a", true },
            { "dot components", share, "/srv/./share/./a", true },
            { "repeated separators", share, "//srv//share///a", true },
            { "folder with dots", "/srv/x/../share", "/srv/share/a", true },
            { "three dots is a name", share, "/srv/share/.../x", true },
            { "case matters", share, "/srv/Share/a", false },
            { "relative path", share, "srv/share/a", false },
            { "relative folder", "srv/share", "srv/share/a", false },
            { "root contains everything absolute", "/", "/etc/passwd", true },
            { "empty folder", "", "/", false },
            { "empty path", share, "", false },
            { "NUL cuts the path short", share, "/etc/passwd\0/../../srv/share/x"s, false },
        });
}
