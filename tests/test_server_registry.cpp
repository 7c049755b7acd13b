// Listening, the client registry and the deferred requests.
#include "ServerFixture.h"

using namespace quill;
using namespace quill::test;

using ServerRegistry = ServerFixture;

TEST_F(ServerRegistry, NamesConnectionsInOrderAndNeverReusesANumber)
{
    FtpTestClient& first = NewClient();
    ASSERT_TRUE(WaitUntil([&] { return server->ClientCount() == 1; }));
    EXPECT_EQ(server->Client(0)->objectName(), "ClientSocket1");
    EXPECT_EQ(server->Client(0)->DataSocket->objectName(), "DataSocket1");
    first.Close();
    ASSERT_TRUE(WaitUntil([&] { return server->ClientCount() == 0; }));

    NewClient();
    ASSERT_TRUE(WaitUntil([&] { return server->ClientCount() == 1; }));
    EXPECT_EQ(server->Client(0)->objectName(), "ClientSocket2");
    EXPECT_EQ(server->Client(-1), nullptr);
    EXPECT_EQ(server->Client(server->ClientCount()), nullptr);
    EXPECT_EQ(events, (std::vector<std::string> { "start", "connect ClientSocket1", "disconnect ClientSocket1",
                          "connect ClientSocket2" }));
}

TEST_F(ServerRegistry, MaxClientsRefusesTheExtraVisitorOnly)
{
    server->MaxClients = 1;
    FtpTestClient& first = NewClient();
    FtpTestClient& second = NewClient(false);
    EXPECT_EQ(second.ReadLine(), "421 Too many users connected.");
    EXPECT_TRUE(second.WaitClosed());
    ASSERT_TRUE(WaitUntil([&] { return CountEvents("disconnect") == 1; }));
    EXPECT_EQ(CountEvents("connect"), 2);
    EXPECT_EQ(first.Command("NOOP"), "200 Ok. Parameter was ''.");
    EXPECT_EQ(server->ClientCount(), 1);
}

TEST_F(ServerRegistry, NoLimitWhenMaxClientsIsZeroOrLess)
{
    for (int limit : { 0, -1 }) {
        server->MaxClients = limit;
        FtpTestClient& a = NewClient();
        FtpTestClient& b = NewClient();
        EXPECT_EQ(a.Command("NOOP"), "200 Ok. Parameter was ''.");
        EXPECT_EQ(b.Command("NOOP"), "200 Ok. Parameter was ''.");
    }
}

TEST_F(ServerRegistry, StartTwiceIsOneStartAndStopLeavesVisitorsConnected)
{
    server->Start();
    EXPECT_EQ(CountEvents("start"), 1);
    FtpTestClient& a = NewClient();
    FtpTestClient& b = NewClient();
    ASSERT_TRUE(WaitUntil([&] { return server->ClientCount() == 2; }));

    server->Stop();
    EXPECT_FALSE(server->Listening());
    EXPECT_EQ(CountEvents("stop"), 1);
    EXPECT_EQ(a.Command("NOOP"), "200 Ok. Parameter was ''.");

    server->CloseAllClients();
    EXPECT_EQ(server->ClientCount(), 0);
    EXPECT_EQ(CountEvents("disconnect"), 0); // they come later, from the loop
    ASSERT_TRUE(WaitUntil([&] { return CountEvents("disconnect") == 2; }));
    EXPECT_TRUE(a.WaitClosed());
    EXPECT_TRUE(b.WaitClosed());

    server->Start();
    EXPECT_EQ(CountEvents("start"), 2);
    port = server->ListenPort(); // port 0: the system chose anew
    NewClient();
}

TEST_F(ServerRegistry, DestroyingTheServerFreesLiveVisitorsWithoutEvents)
{
    FtpTestClient& a = NewClient();
    ASSERT_TRUE(WaitUntil([&] { return server->ClientCount() == 1; }));
    events.clear();
    server.reset();
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(a.WaitClosed());
    DrainEvents();
}

TEST_F(ServerRegistry, AbruptDisconnectsAndGarbageLeaveTheServerListening)
{
    for (int i = 0; i < 20; ++i) {
        FtpTestClient& c = NewClient(i % 2 == 0);
        c.SendRaw(std::string("\0\xff\xff\xfe garbage", 12));
        c.SendRaw(std::string(3000, static_cast<char>(i)));
        c.Close();
    }
    ASSERT_TRUE(WaitUntil([&] { return server->ClientCount() == 0 && CountEvents("disconnect") == 20; }));
    EXPECT_TRUE(server->Listening());
    EXPECT_EQ(NewClient().Command("NOOP ok"), "200 Ok. Parameter was 'ok'.");
}

TEST_F(ServerRegistry, TheCommandTableHoldsThirtyTwoEntries)
{
    const int room = 32 - static_cast<int>(server->CommandTable().size());
    for (int i = 0; i < room; ++i)
        server->RegisterCommand("X" + std::to_string(i), nullptr, true);
    EXPECT_THROW(server->RegisterCommand("ONEMORE", nullptr, true), FtpServerException);
    EXPECT_EQ(server->CommandTable().size(), 32u);
}

namespace {
// Exposes the deferred requests to the test.
class RequestingServer : public TFtpServer {
public:
    void PostCloseData(TFtpCtrlSocket& client) { PostRequest(Request::CloseData, *client.DataSocket); }
};
}

TEST(ServerRequests, ARequestForAFreedConnectionIsDropped)
{
    EnsureApplication();
    RequestingServer server;
    server.Addr = "127.0.0.1";
    server.Port = "0";
    server.Start();
    FtpTestClient c;
    ASSERT_TRUE(c.Connect(server.ListenPort()));
    ASSERT_TRUE(WaitUntil([&] { return server.ClientCount() == 1; }));
    TFtpCtrlSocket& client = *server.Client(0);
    client.Close(); // posts the free request first...
    server.PostCloseData(client); // ...so this one finds its socket gone
    DrainEvents();
    EXPECT_EQ(server.ClientCount(), 0);
}
