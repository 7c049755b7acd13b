// CWD, CDUP, PWD and XPWD in both path styles, through a real connection.
#include "ServerFixture.h"

using namespace quill;
using namespace quill::test;

namespace {

struct NavCase {
    const char* name;
    std::string from;    // current folder before the command (display form)
    std::string command;
    std::string reply;
    std::string after;   // current folder afterwards (display form)
};

std::string Cwd(const std::string& dir)
{
    return "250 CWD command successful. \"" + dir + "\" is current directory.";
}

const std::string Dots = "501 CWD failed. Cannot accept relative path using dot notation";

struct StyleCase {
    const char* name;
    PathStyle style;
    std::string home;
    std::vector<NavCase> cases;
};

const StyleCase Styles[] = {
    { "Windows", PathStyle::Windows, "C:\\Shared",
      {
          { "into a sub-folder", "C:/Shared/", "CWD Music", Cwd("C:/Shared/Music/"), "C:/Shared/Music/" },
          { "up one", "C:/Shared/Music/", "CWD ..", Cwd("C:/Shared/"), "C:/Shared/" },
          { "CDUP is CWD ..", "C:/Shared/Music/", "CDUP", Cwd("C:/Shared/"), "C:/Shared/" },
          { "up from the root stays", "C:/", "CWD ..", Cwd("C:/"), "C:/" },
          { "root of the drive", "C:/Shared/", "CWD /", Cwd("C:/"), "C:/" },
          { "absolute", "C:/Shared/", "CWD /Docs", Cwd("C:/Docs/"), "C:/Docs/" },
          { "other drive", "C:/Shared/", "CWD D:", Cwd("D:/"), "D:/" },
          { "same drive alone", "C:/Shared/", "CWD C:", Cwd("C:/Shared/"), "C:/Shared/" },
          { "drive in a slash path", "C:/Shared/", "CWD /C:/Music", Cwd("C:/Music/"), "C:/Music/" },
          { "backslashes too", "C:/Shared/", "CWD a\\b", Cwd("C:/Shared/a/b/"), "C:/Shared/a/b/" },
          { "dot stays", "C:/Shared/", "CWD .", Cwd("C:/Shared/"), "C:/Shared/" },
          { "nothing stays", "C:/Shared/", "CWD", Cwd("C:/Shared/"), "C:/Shared/" },
          { "trailing dots pass", "C:/Shared/", "CWD x/..", Cwd("C:/Shared/x/../"), "C:/Shared/x/../" },
          { "lower-case drive kept", "C:/Shared/", "CWD d:\\x", Cwd("d:/x/"), "d:/x/" },
          { "missing folder is no error", "C:/Shared/", "CWD NoSuchFolder", Cwd("C:/Shared/NoSuchFolder/"), "C:/Shared/NoSuchFolder/" },
          { "dot notation ../", "C:/Shared/", "CWD ../x", Dots, "C:/Shared/" },
          { "dot notation ..\\", "C:/Shared/", "CWD ..\\x", Dots, "C:/Shared/" },
          { "dot notation ./", "C:/Shared/", "CWD ./x", Dots, "C:/Shared/" },
          { "dot notation inside", "C:/Shared/", "CWD x/../y", Dots, "C:/Shared/" },
          { "relative on another drive", "C:/Shared/", "CWD D:Docs",
            "501 CWD failed. Cannot accept path not relative to current directory", "C:/Shared/" },
          { "UNC", "C:/Shared/", "CWD //server/share", "501 CWD failed. Cannot accept UNC path", "C:/Shared/" },
          { "colons", "C:/Shared/", "CWD a:b:c", "501 CWD failed. Invalid directory name syntax", "C:/Shared/" },
          { "vetoed by the owner", "C:/Shared/", "CWD Private", "501 CWD failed. No permission", "C:/Shared/" },
      } },
    { "POSIX", PathStyle::Posix, "/srv/share",
      {
          { "into a sub-folder", "/srv/share/", "CWD music", Cwd("/srv/share/music/"), "/srv/share/music/" },
          { "up one", "/srv/share/music/", "CWD ..", Cwd("/srv/share/"), "/srv/share/" },
          { "CDUP is CWD ..", "/srv/share/music/", "CDUP", Cwd("/srv/share/"), "/srv/share/" },
          { "up from the root stays", "/", "CDUP", Cwd("/"), "/" },
          { "absolute", "/srv/share/", "CWD /tmp", Cwd("/tmp/"), "/tmp/" },
          { "backslash is a separator", "/srv/share/", "CWD a\\b", Cwd("/srv/share/a/b/"), "/srv/share/a/b/" },
          { "dot stays", "/srv/share/", "CWD .", Cwd("/srv/share/"), "/srv/share/" },
          { "nothing stays", "/srv/share/", "CWD  ", Cwd("/srv/share/"), "/srv/share/" },
          { "colons are names", "/srv/share/", "CWD a:b", Cwd("/srv/share/a:b/"), "/srv/share/a:b/" },
          { "dot notation ../", "/srv/share/", "CWD ../x", Dots, "/srv/share/" },
          { "dot notation ./", "/srv/share/", "CWD ./x", Dots, "/srv/share/" },
          { "dot notation inside", "/srv/share/", "CWD x/../y", Dots, "/srv/share/" },
          { "two separators", "/srv/share/", "CWD //x", "501 CWD failed. Cannot accept UNC path", "/srv/share/" },
          { "vetoed by the owner", "/srv/share/", "CWD Private", "501 CWD failed. No permission", "/srv/share/" },
      } },
};

class Navigation : public ServerFixture, public ::testing::WithParamInterface<StyleCase> { };

} // namespace

TEST_P(Navigation, ChangesOrKeepsTheCurrentFolder)
{
    const StyleCase& style = GetParam();
    server->Stop();
    server->PathRules = style.style;
    server->Start();
    port = server->ListenPort();
    homeDir = style.home;
    server->OnChangeDirectory = [](TFtpServer&, TFtpCtrlSocket&, const std::string& dir, bool& allowed) {
        allowed = dir.find("Private") == std::string::npos;
    };
    FtpTestClient& c = NewClient();
    ASSERT_EQ(c.Login(), "230 User visitor logged in.");
    for (const NavCase& k : style.cases) {
        SCOPED_TRACE(k.name);
        ASSERT_EQ(c.Command("CWD " + k.from), Cwd(k.from));
        EXPECT_EQ(c.Command(k.command), k.reply);
        EXPECT_EQ(c.Command("PWD"), "257 \"" + k.after + "\" is current directory.");
        EXPECT_EQ(c.Command("XPWD"), "257 \"" + k.after + "\" is current directory.");
    }
}

INSTANTIATE_TEST_SUITE_P(BothStyles, Navigation, ::testing::ValuesIn(Styles),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServerFixture, NavigationNeedsALogin)
{
    FtpTestClient& c = NewClient();
    for (const char* command : { "CWD /", "CDUP", "PWD", "XPWD" })
        EXPECT_EQ(c.Command(command), "530 Please login with USER and PASS.") << command;
}
