// Command dispatch and the reply path, over loopback.
#include "Limits.h"
#include "ServerFixture.h"

#include <chrono>

#include <sys/socket.h>

using namespace quill;
using namespace quill::test;

using Dispatch = ServerFixture;

TEST_F(Dispatch, EveryLoginGatedCommandAnswers530BeforeLogin)
{
    FtpTestClient& c = NewClient();
    for (const TFtpSrvCommandTableItem& item : server->CommandTable()) {
        if (!item.LoginRequired)
            continue;
        SCOPED_TRACE(item.Keyword);
        EXPECT_EQ(c.Command(item.Keyword + " x"), "530 Please login with USER and PASS.");
    }
    // ...and changed nothing on the way.
    ASSERT_EQ(server->ClientCount(), 1);
    EXPECT_EQ(server->Client(0)->CurrentDir, "");
    EXPECT_EQ(server->Client(0)->FtpState, ftpcWaitingUserCode);
}

TEST_F(Dispatch, LinesAreSplitAndAnsweredOnceEach)
{
    struct Case {
        const char* name;
        std::string line;
        std::string reply;
    };
    const Case cases[] = {
        { "lower case keyword", "noop", "200 Ok. Parameter was ''." },
        { "leading blanks", "   noop", "200 Ok. Parameter was ''." },
        { "keyword ends at a non-alphanumeric", "NOOP-la", "200 Ok. Parameter was '-la'." },
        { "trailing blanks kept", "NOOP   x  ", "200 Ok. Parameter was 'x  '." },
        { "unknown keyword", "FOO bar", "500 'FOO': command not understood." },
        { "no keyword", "?", "500 '?': command not understood." },
        { "empty line", "", "500 '': command not understood." },
        { "Telnet interrupt before the keyword", "\xff\xf4\xff\xf2NOOP", "200 Ok. Parameter was ''." },
        { "NUL inside parameters", std::string("NOOP a\0b", 8), std::string("200 Ok. Parameter was 'a\0b'.", 28) },
        { "works without login", "STRU F", "200 Ok. STRU parameter 'F' ignored." },
    };
    FtpTestClient& c = NewClient();
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(c.Command(k.line), k.reply);
    }
}

TEST_F(Dispatch, ALineLongerThan255BytesIsRefusedNotCut)
{
    std::vector<std::string> commands;
    server->OnClientCommand = [&](TFtpServer&, TFtpCtrlSocket&, TFtpString& k, TFtpString&, TFtpString&) {
        commands.push_back(k.str());
    };
    FtpTestClient& c = NewClient();
    // 255 bytes are a command (its long reply is cut to 255 bytes)...
    EXPECT_EQ(c.Command("NOOP " + std::string(250, 'x')).size(), 255u);
    // ...256 and more are refused.
    EXPECT_EQ(c.Command("NOOP " + std::string(251, 'x')), "500 Command too long");
    EXPECT_EQ(c.Command("NOOP " + std::string(295, 'x')), "500 Command too long");
    // Telnet bytes do not count; the connection stays open.
    EXPECT_EQ(c.Command("\xff\xf4NOOP " + std::string(250, 'y')).substr(0, 25), "200 Ok. Parameter was 'yy");
    EXPECT_EQ(commands.size(), 2u); // only the lines that fit reached the owner
}

TEST_F(Dispatch, TheOwnerMayAnswerOrRewriteACommand)
{
    server->OnClientCommand = [](TFtpServer&, TFtpCtrlSocket&, TFtpString& keyword, TFtpString& params,
                                 TFtpString& answer) {
        if (keyword == "SITE")
            answer = "200 Answered by the owner";
        if (keyword == "HELLO") {
            keyword = "NOOP";
            params = "rewritten";
        }
        if (keyword == "BOOM")
            throw std::runtime_error("owner failed");
    };
    FtpTestClient& c = NewClient();
    EXPECT_EQ(c.Command("SITE anything"), "200 Answered by the owner");
    EXPECT_EQ(c.Command("HELLO"), "200 Ok. Parameter was 'rewritten'.");
    EXPECT_EQ(c.Command("BOOM"), "501 owner failed");
    // A rewritten answer is the one sent.
    server->OnAnswerToClient = [](TFtpServer&, TFtpCtrlSocket&, TFtpString& a) { a = "299 " + a.str(); };
    EXPECT_EQ(c.Command("NOOP"), "299 200 Ok. Parameter was ''.");
}

TEST_F(Dispatch, TheReplyPathSeesEveryReplyButNotTheGreetingOrRefusal)
{
    server->MaxClients = 1;
    FtpTestClient& c = NewClient();
    FtpTestClient& refused = NewClient(false);
    EXPECT_EQ(refused.ReadLine(), "421 Too many users connected.");
    c.Command("PWD");
    c.Command("FOO");
    c.Command("NOOP");
    EXPECT_EQ(answers, (std::vector<std::string> { "530 Please login with USER and PASS.",
                           "500 'FOO': command not understood.", "200 Ok. Parameter was ''." }));
}

TEST_F(Dispatch, ARequestSentInPiecesIsAnsweredWhenComplete)
{
    FtpTestClient& c = NewClient();
    c.SendRaw("NO");
    EXPECT_EQ(c.ReadLine(std::chrono::milliseconds(200)), "<timeout>");
    c.SendRaw("OP 1\r\nNOOP 2\nNOOP 3\r\n");
    EXPECT_EQ(c.ReadLine(), "200 Ok. Parameter was '1'.");
    EXPECT_EQ(c.ReadLine(), "200 Ok. Parameter was '2'.");
    EXPECT_EQ(c.ReadLine(), "200 Ok. Parameter was '3'.");
}

TEST_F(Dispatch, AnOverlongLineEndsTheConnectionWithOneReply)
{
    FtpTestClient& c = NewClient();
    c.SendRaw(std::string(3000, 'A') + "\r\n");
    EXPECT_EQ(c.ReadLine(), "500 Command too long");
    EXPECT_TRUE(c.WaitClosed());
    ASSERT_TRUE(WaitUntil([&] { return server->ClientCount() == 0; }));
    EXPECT_TRUE(server->Listening());

    FtpTestClient& d = NewClient();
    EXPECT_EQ(d.Command("OVER"), "500 Command too long");
    EXPECT_TRUE(d.WaitClosed());
}

TEST_F(Dispatch, AVisitorWhoDoesNotReadRepliesHasItsCommandsWaitNotPileUp)
{
    FtpTestClient& c = NewClient();
    // Small system buffers on both ends, so the replies reach the server's own queue soon.
    c.LimitReceiveBuffer(16 * 1024);
    ASSERT_EQ(server->ClientCount(), 1);
    const int small = 16 * 1024;
    ::setsockopt(static_cast<int>(server->Client(0)->HSocket()), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    const std::string reply = "200 Ok. Parameter was ''.";
    constexpr std::size_t count = 30000; // replies: 780 KB, far more than the buffers hold
    std::string flood;
    for (std::size_t i = 0; i < count; ++i)
        flood += "NOOP\r\n";
    flood += "QUIT\r\n";
    std::string rest = flood.substr(c.SendFor(flood, std::chrono::seconds(2)));
    const std::size_t bound = limits::ReplyBacklogBytes + 64 * 1024;
    EXPECT_FALSE(WaitUntil([&] { return server->Client(0)->QueuedBytes() > bound; }, std::chrono::seconds(1)))
        << server->Client(0)->QueuedBytes() << " bytes of replies queued";

    // Reading resumes once the replies leave: every command is answered, in
    // order, and a QUIT that came while replies waited closes after them.
    for (std::size_t i = 0; i < count; ++i) {
        if (!rest.empty() && i % 1000 == 0)
            rest.erase(0, c.SendFor(rest, std::chrono::milliseconds(1)));
        const std::string line = c.ReadLine();
        if (line != reply)
            FAIL() << "reply " << i << ": " << line;
    }
    EXPECT_EQ(rest, "");
    EXPECT_EQ(c.ReadLine(), "221 Goodbye.");
    EXPECT_TRUE(c.WaitClosed());
}
