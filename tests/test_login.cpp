// Login and session commands, as a visitor sees them.
#include "ServerFixture.h"

using namespace quill;
using namespace quill::test;

namespace {

struct Exchange {
    std::string command;
    std::string reply;
};

struct Script {
    const char* name;
    std::vector<Exchange> steps;
};

} // namespace

using Login = ServerFixture;

TEST_F(Login, StateMachine)
{
    const char* const gate = "530 Please login with USER and PASS.";
    const Script scripts[] = {
        { "PASS before USER", { { "PASS secret", "503 Login with USER first." } } },
        { "good login",
          { { "USER anna", "331 Password required for anna." },
            { "PASS secret", "230 User anna logged in." },
            { "PWD", "257 \"/srv/share/\" is current directory." } } },
        { "PASS after login changes nothing",
          { { "USER anna", "331 Password required for anna." },
            { "PASS secret", "230 User anna logged in." },
            { "PASS secret", "503 Login with USER first." },
            { "SYST", "215 UNIX Type: L8 Quillshare" } } },
        { "wrong password, then PASS alone",
          { { "USER anna", "331 Password required for anna." },
            { "PASS Secret", "530 Login incorrect." },
            { "PASS secret", "503 Login with USER first." },
            { "PWD", gate } } },
        { "blanks around the name are trimmed",
          { { "USER   anna  ", "331 Password required for anna." }, { "PASS  secret ", "230 User anna logged in." } } },
        { "empty user name", { { "USER", "331 Password required for ." }, { "PASS secret", "230 User  logged in." } } },
        { "USER after a login logs out",
          { { "USER a", "331 Password required for a." },
            { "PASS secret", "230 User a logged in." },
            { "USER b", "331 Password required for b." },
            { "PWD", gate } } },
    };
    for (const Script& script : scripts) {
        SCOPED_TRACE(script.name);
        FtpTestClient& c = NewClient();
        for (const Exchange& step : script.steps) {
            SCOPED_TRACE(step.command);
            EXPECT_EQ(c.Command(step.command), step.reply);
        }
    }
}

TEST_F(Login, SessionCommandReplies)
{
    const Script before = { "before login",
        { { "NOOP", "200 Ok. Parameter was ''." },
          { "STRU R", "200 Ok. STRU parameter 'R' ignored." },
          { "SYST", "530 Please login with USER and PASS." },
          { "TYPE I", "530 Please login with USER and PASS." },
          { "MODE S", "530 Please login with USER and PASS." },
          { "MODE", "530 Please login with USER and PASS." } } };
    const Script after = { "after login",
        { { "TYPE i", "200 Type set to i." },
          { "TYPE I ", "200 Type set to I ." },
          { "TYPE A N", "200 Type set to A N." },
          { "TYPE E", "500 'TYPE E': command not understood." },
          { "TYPE L 8", "500 'TYPE L 8': command not understood." },
          { "MODE S", "200 MODE Ok" },
          { "MODE s", "200 MODE Ok" },
          { "MODE B", "502 MODE other than S not supported" },
          { "MODE", "501 Missing argument for MODE" },
          { "SYST", "215 UNIX Type: L8 Quillshare" } } };
    FtpTestClient& c = NewClient();
    for (const Script* script : { &before, &after }) {
        SCOPED_TRACE(script->name);
        if (script == &after) {
            ASSERT_EQ(c.Login(), "230 User visitor logged in.");
        }
        for (const Exchange& step : script->steps) {
            SCOPED_TRACE(step.command);
            EXPECT_EQ(c.Command(step.command), step.reply);
        }
    }
}

TEST_F(Login, QuitRepliesThenCloses)
{
    FtpTestClient& c = NewClient();
    EXPECT_EQ(c.Command("QUIT"), "221 Goodbye.");
    EXPECT_TRUE(c.WaitClosed());
    ASSERT_TRUE(WaitUntil([&] { return CountEvents("disconnect") == 1; }));
}

TEST_F(Login, AFailingOwnerOrARefusedHomeFolderGive501)
{
    FtpTestClient& c = NewClient();
    homeDir = "//server/share"; // refused as a UNC name
    c.Command("USER a");
    EXPECT_EQ(c.Command("PASS secret"), "501 Cannot accept UNC path");
    // Logged in all the same, with no current folder yet.
    EXPECT_EQ(c.Command("PWD"), "257 \"\" is current directory.");
    EXPECT_EQ(c.Command("CWD x"), "501 CWD failed. No current directory");

    server->OnAuthenticate = [](TFtpServer&, TFtpCtrlSocket&, const TFtpString&, const TFtpString&, bool&) {
        throw std::runtime_error("directory service down");
    };
    c.Command("USER a");
    EXPECT_EQ(c.Command("PASS secret"), "501 directory service down");
    ASSERT_EQ(server->ClientCount(), 1);
    EXPECT_EQ(server->Client(0)->FtpState, ftpcWaitingPassword);
}
