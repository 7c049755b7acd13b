// The socket layer's guarantees, on real loopback sockets.
#include "AsyncSocket.h"
#include "TestLoop.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace quill;
using namespace quill::test;

namespace {

// A listener on a system-chosen loopback port, an outgoing socket connected
// to it and the accepted end, ready for a test.
class SocketPair : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApplication();
        listener.SetAddr("127.0.0.1");
        listener.SetPort("0");
        listener.OnSessionAvailable = [this](TCustomAsyncSocket& l, quint16) {
            accepted = std::make_unique<TAsyncSocket>();
            accepted->SetHSocket(l.Accept());
        };
        listener.Listen();
        outgoing.SetAddr("127.0.0.1");
        outgoing.SetPort(listener.GetXPort());
        outgoing.OnSessionConnected = [this](TCustomAsyncSocket&, quint16 e) { connectError = e; };
        outgoing.Connect();
        ASSERT_TRUE(WaitUntil([&] { return accepted && outgoing.State() == ssConnected; }));
    }

    TAsyncSocket listener;
    TAsyncSocket outgoing;
    std::unique_ptr<TAsyncSocket> accepted;
    int connectError = -1;
};

} // namespace

TEST_F(SocketPair, DataSentComesLaterFromTheLoopNeverInsideSend)
{
    int sentEvents = 0;
    outgoing.OnDataSent = [&](TCustomAsyncSocket&, quint16) { ++sentEvents; };
    outgoing.Send("hello");
    EXPECT_EQ(sentEvents, 0);
    ASSERT_TRUE(WaitUntil([&] { return sentEvents == 1; }));
    EXPECT_TRUE(outgoing.AllSent());
    EXPECT_EQ(connectError, 0);
}

TEST_F(SocketPair, UnreadBytesAreOfferedAgainAndThePeerCloseComesAfterThem)
{
    std::string got;
    std::vector<std::string> order;
    // A reader that takes one byte per notification.
    accepted->OnDataAvailable = [&](TCustomAsyncSocket& s, quint16) {
        char c;
        if (s.Receive(&c, 1) == 1)
            got.push_back(c);
    };
    accepted->OnSessionClosed = [&](TCustomAsyncSocket&, quint16 e) { order.push_back("closed " + std::to_string(e) + " after " + got); };
    outgoing.Send("abcdef");
    ASSERT_TRUE(WaitUntil([&] { return outgoing.AllSent(); }));
    outgoing.Close();
    ASSERT_TRUE(WaitUntil([&] { return !order.empty(); }));
    EXPECT_EQ(got, "abcdef");
    EXPECT_EQ(order, std::vector<std::string> { "closed 0 after abcdef" });
    EXPECT_EQ(accepted->State(), ssClosed);
}

TEST_F(SocketPair, CloseFiresOnceSynchronouslyAndNotWhileDestroyed)
{
    int closed = 0;
    outgoing.OnSessionClosed = [&](TCustomAsyncSocket&, quint16) { ++closed; };
    outgoing.Close();
    EXPECT_EQ(closed, 1);
    outgoing.Close();
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(outgoing.State(), ssClosed);

    int acceptedClosed = 0;
    accepted->OnSessionClosed = [&](TCustomAsyncSocket&, quint16) { ++acceptedClosed; };
    accepted.reset();
    EXPECT_EQ(acceptedClosed, 0);
}

TEST_F(SocketPair, AnExceptionInAHandlerAbortsThatSocketOnly)
{
    accepted->OnDataAvailable = [](TCustomAsyncSocket&, quint16) { throw std::runtime_error("handler bug"); };
    bool closed = false;
    accepted->OnSessionClosed = [&](TCustomAsyncSocket&, quint16) { closed = true; };
    outgoing.Send("x");
    ASSERT_TRUE(WaitUntil([&] { return closed; }));
    EXPECT_EQ(accepted->State(), ssClosed);
    EXPECT_EQ(listener.State(), ssListening);
}

TEST_F(SocketPair, SettingsAreRefusedWhileOpenAndResetByClose)
{
    EXPECT_THROW(outgoing.SetPort("21"), ESocketException);
    outgoing.Close();
    EXPECT_EQ(outgoing.Port(), "");
    EXPECT_NO_THROW(outgoing.SetPort("21"));
}

TEST(AsyncSocket, ListeningOnATakenPortNamesTheFailedCall)
{
    EnsureApplication();
    TAsyncSocket first, second;
    first.SetAddr("127.0.0.1");
    first.SetPort("0");
    first.Listen();
    second.SetAddr("127.0.0.1");
    second.SetPort(first.GetXPort());
    try {
        second.Listen();
        FAIL() << "a second listener on the same port";
    } catch (const ESocketException& e) {
        EXPECT_EQ(e.function(), "bind");
        EXPECT_NE(e.code(), 0);
    }
    EXPECT_EQ(second.State(), ssClosed);
}

TEST(AsyncSocket, AFailedConnectReportsTheErrorThenCloses)
{
    EnsureApplication();
    // A port that was just free: nobody listens there.
    std::string freePort;
    {
        TAsyncSocket probe;
        probe.SetAddr("127.0.0.1");
        probe.SetPort("0");
        probe.Listen();
        freePort = probe.GetXPort();
    }
    TAsyncSocket s;
    std::vector<std::string> seen;
    s.OnSessionConnected = [&](TCustomAsyncSocket&, quint16 e) { seen.push_back(e ? "connect failed" : "connected"); };
    s.OnSessionClosed = [&](TCustomAsyncSocket&, quint16 e) { seen.push_back("closed " + std::to_string(e)); };
    s.SetAddr("127.0.0.1");
    s.SetPort(freePort);
    s.Connect();
    ASSERT_TRUE(WaitUntil([&] { return seen.size() == 2; }));
    EXPECT_EQ(seen, (std::vector<std::string> { "connect failed", "closed 0" }));
}

TEST(AsyncSocket, ServiceNamesComeFromTheSystemDatabase)
{
    EXPECT_EQ(sockapi::ResolvePort("ftp"), 21);
    EXPECT_EQ(sockapi::ResolvePort("2121"), 2121);
    EXPECT_THROW(sockapi::ResolvePort("no-such-service"), ESocketException);
    EXPECT_THROW(sockapi::ResolvePort("70000"), ESocketException);
}
