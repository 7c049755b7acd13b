// PORT, PASV, REST and ABOR, and how data connections are made.
#include "DataArguments.h"
#include "ServerFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace quill;
using namespace quill::test;

TEST(DataArguments, PortArgumentsAreReadLikeTheNumberReader)
{
    struct Case {
        const char* name;
        const char* text;
        bool ok;
        const char* addr;
        int port;
    };
    const Case cases[] = {
        { "plain", "1,2,3,4,5,6", true, "1.2.3.4", 1286 },
        { "blanks around numbers", "10 , 0 , 0 , 5 , 4 , 1", true, "10.0.0.5", 1025 },
        { "tabs", "\t127,0,0,1,\t0,21", true, "127.0.0.1", 21 },
        { "short list gives port 0", "10,0,0,5", true, "10.0.0.5", 0 },
        { "missing numbers are 0", "127,,,1,,", true, "127.0.0.1", 0 },
        { "text after the sixth comma ignored", "1,2,3,4,5,6,junk", true, "1.2.3.4", 1286 },
        { "junk after a number", "10,0,0,5,4,1x", false, "", 0 },
        { "junk instead of a number", "a,b,c,d,e,f", false, "", 0 },
        { "byte out of range", "300,1,1,1,1,1", false, "", 0 },
        { "port byte out of range", "1,2,3,4,256,0", false, "", 0 },
        { "endless digits", "99999999999999999999999,0,0,1,0,0", false, "", 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto parsed = ParsePortArgument(c.text);
        ASSERT_EQ(parsed.has_value(), c.ok);
        if (c.ok) {
            EXPECT_EQ(parsed->addr, c.addr);
            EXPECT_EQ(parsed->port, c.port);
        }
    }
}

using DataConnection = ServerFixture;

TEST_F(DataConnection, PortRepliesAndTheBounceRefusal)
{
    FtpTestClient& c = NewClient();
    EXPECT_EQ(c.Command("PORT 127,0,0,1,4,1"), "530 Please login with USER and PASS.");
    c.Login();
    const std::pair<const char*, const char*> cases[] = {
        { "PORT 127,0,0,1,4,1", "200 Port command successful." },
        { "PORT 127 , 0 , 0 , 1 , 4 , 1", "200 Port command successful." },
        { "PORT 127,0,0,1,4,1x", "501 Invalid PORT command." },
        { "PORT 10,0,0,5,4,1", "501 Invalid PORT command." }, // another host
        { "PORT 127,0,0,2,4,1", "501 Invalid PORT command." }, // another loopback address is another host too
        { "PORT", "501 Invalid PORT command." },
    };
    for (const auto& [command, reply] : cases)
        EXPECT_EQ(c.Command(command), reply) << command;
    // A refused PORT left nothing behind: the last good one still holds.
    ASSERT_EQ(server->ClientCount(), 1);
    EXPECT_EQ(server->Client(0)->PeerDataAddr, "127.0.0.1");
    EXPECT_EQ(server->Client(0)->PeerDataPort, "1025");
}

TEST_F(DataConnection, RestReplies)
{
    FtpTestClient& c = NewClient();
    EXPECT_EQ(c.Command("REST 100"), "530 Please login with USER and PASS.");
    c.Login();
    const std::pair<const char*, const char*> cases[] = {
        { "REST 100", "350 REST supported. Ready to resume at byte offset 100." },
        { "REST 3000000000", "350 REST supported. Ready to resume at byte offset 3000000000." },
        { "REST 0", "501 Required byte offset parameter bad or missing." },
        { "REST -5", "501 Required byte offset parameter bad or missing." },
        { "REST abc", "501 Syntax error in parameter: 'abc' is not a valid integer value." },
        { "REST 99999999999999999999", "501 Syntax error in parameter: '99999999999999999999' is not a valid integer value." },
    };
    for (const auto& [command, reply] : cases)
        EXPECT_EQ(c.Command(command), reply) << command;
    EXPECT_EQ(server->Client(0)->RestartOffset, 0);
}

TEST_F(DataConnection, EachPasvOpensANewPortAndGivesUpTheOld)
{
    FtpTestClient& c = NewClient();
    EXPECT_EQ(c.Command("PASV"), "530 Please login with USER and PASS.");
    c.Login();
    const int first = c.Pasv();
    ASSERT_NE(first, 0);
    EXPECT_EQ(c.lastReply.substr(0, 37), "227 Entering Passive Mode (127,0,0,1,");
    const int second = c.Pasv();
    ASSERT_NE(second, 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(DataChannel::ConnectTo(first), nullptr);
    EXPECT_NE(DataChannel::ConnectTo(second), nullptr);
}

TEST_F(DataConnection, APassiveConnectionFromAnotherAddressIsTurnedAway)
{
    MakeShare();
    WriteFile("a.txt", "content");
    FtpTestClient& c = NewClient();
    c.Login();
    const int port = c.Pasv();
    auto stranger = DataChannel::ConnectTo(port, "127.0.0.1", "127.0.0.2");
    ASSERT_NE(stranger, nullptr);
    EXPECT_EQ(stranger->ReadAll(), ""); // closed at once, nothing sent
    auto visitor = DataChannel::ConnectTo(port);
    ASSERT_NE(visitor, nullptr);
    EXPECT_EQ(c.Command("RETR a.txt"), "150 Opening data connection for a.txt.");
    EXPECT_EQ(visitor->ReadAll(), "content");
    EXPECT_EQ(c.ReadLine(), "226 File sent ok");
}

TEST_F(DataConnection, AborWithNothingRunningOnlyReplies)
{
    FtpTestClient& c = NewClient();
    EXPECT_EQ(c.Command("ABOR"), "225 ABOR command successful.");
    c.Login();
    c.Pasv(); // a listening port is no transfer
    EXPECT_EQ(c.Command("ABOR"), "225 ABOR command successful.");
    EXPECT_EQ(c.Command("NOOP"), "200 Ok. Parameter was ''.");
}

TEST_F(DataConnection, ClosingTheControlConnectionReleasesThePassivePort)
{
    FtpTestClient& c = NewClient();
    c.Login();
    const int port = c.Pasv();
    c.Close();
    ASSERT_TRUE(WaitUntil([&] { return server->ClientCount() == 0; }));
    EXPECT_EQ(DataChannel::ConnectTo(port), nullptr);
}

TEST_F(DataConnection, AnActiveTransferWithoutPortReportsTheFailure)
{
    MakeShare();
    WriteFile("a.txt", "x");
    FtpTestClient& c = NewClient();
    c.Login();
    const std::string reply = c.Command("RETR a.txt");
    EXPECT_EQ(reply.rfind("501 Cannot RETR. ", 0), 0u) << reply;
    EXPECT_EQ(c.Command("NOOP"), "200 Ok. Parameter was ''.");
}
