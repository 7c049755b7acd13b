// RETR, STOR and APPE end to end on loopback, in active and passive mode.
#include "ServerFixture.h"

#include <QDir>

#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace quill;
using namespace quill::test;

namespace {

enum class Mode { Active, PassiveConnectFirst, PassiveCommandFirst };

std::string ModeName(Mode m)
{
    switch (m) {
    case Mode::Active:
        return "Active";
    case Mode::PassiveConnectFirst:
        return "PassiveConnectFirst";
    case Mode::PassiveCommandFirst:
        return "PassiveCommandFirst";
    }
    return "";
}

std::string RandomBytes(std::size_t n, unsigned seed = 7)
{
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(gen());
    return s;
}

// A stream of the owner's that fails its nth write.
class FailingStream : public TMemoryStream {
public:
    explicit FailingStream(int failAt) : failAt_(failAt) { }
    void Write(const char* buf, qint64 len) override
    {
        if (++writes_ >= failAt_)
            throw EStreamError("Stream write error");
        TMemoryStream::Write(buf, len);
    }

private:
    int failAt_;
    int writes_ = 0;
};

class Transfers : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        MakeShare();
    }

    FtpTestClient& LoggedIn()
    {
        FtpTestClient& c = NewClient();
        EXPECT_EQ(c.Login(), "230 User visitor logged in.");
        return c;
    }

    // Runs a transfer command in `mode`: its first reply, the data channel
    // ready for reading or sending (or null when none was made).
    std::unique_ptr<DataChannel> Open(FtpTestClient& c, Mode mode, const std::string& command, std::string& reply)
    {
        std::unique_ptr<DataChannel> d;
        if (mode == Mode::Active) {
            d = DataChannel::Listen();
            EXPECT_EQ(c.Command("PORT " + d->PortArgument()), "200 Port command successful.");
            reply = c.Command(command);
            if (!d->Accept())
                d.reset();
        } else if (mode == Mode::PassiveConnectFirst) {
            d = DataChannel::ConnectTo(c.Pasv());
            // The connection must be taken before the command arrives.
            EXPECT_TRUE(WaitUntil([&] {
                for (int i = 0; i < server->ClientCount(); ++i)
                    if (server->Client(i)->PassiveAccepted)
                        return true;
                return false;
            }));
            reply = c.Command(command);
        } else {
            const int port = c.Pasv();
            reply = c.Command(command);
            d = DataChannel::ConnectTo(port);
        }
        return d;
    }

    // Downloads with `command`; returns the bytes, sets the two replies.
    std::string Download(FtpTestClient& c, Mode mode, const std::string& command, std::string* closing = nullptr)
    {
        std::string first;
        auto d = Open(c, mode, command, first);
        EXPECT_EQ(first.substr(0, 4), "150 ") << first;
        const std::string data = d ? d->ReadAll() : "<no data connection>";
        const std::string last = c.ReadLine();
        if (closing)
            *closing = last;
        else
            EXPECT_EQ(last, "226 File sent ok");
        return data;
    }

    // Uploads `bytes` with `command`; returns the closing reply.
    std::string Upload(FtpTestClient& c, Mode mode, const std::string& command, const std::string& bytes)
    {
        std::string first;
        auto d = Open(c, mode, command, first);
        EXPECT_EQ(first.substr(0, 4), "150 ") << first;
        if (!d)
            return "<no data connection>";
        d->Send(bytes);
        d->Close();
        return c.ReadLine();
    }
};

class TransferModes : public Transfers, public ::testing::WithParamInterface<Mode> { };

} // namespace

TEST_P(TransferModes, DownloadsAndUploadsAreByteExact)
{
    FtpTestClient& c = LoggedIn();
    for (std::size_t size : { 0u, 1u, 2047u, 2048u, 2049u, 4096u, 1048579u }) {
        SCOPED_TRACE(size);
        const std::string content = RandomBytes(size, static_cast<unsigned>(size));
        WriteFile("down.bin", content);
        EXPECT_EQ(Download(c, GetParam(), "RETR down.bin"), content);
        EXPECT_EQ(Upload(c, GetParam(), "STOR up.bin", content), "226 File received ok");
        EXPECT_EQ(ReadFile("up.bin"), content);
    }
}

INSTANTIATE_TEST_SUITE_P(AllModes, TransferModes,
                         ::testing::Values(Mode::Active, Mode::PassiveConnectFirst, Mode::PassiveCommandFirst),
                         [](const auto& info) { return ModeName(info.param); });

TEST_F(Transfers, RepliesAndEventsComeInOrder)
{
    std::vector<std::string> seen;
    server->OnAnswerToClient = [&](TFtpServer&, TFtpCtrlSocket&, TFtpString& a) { seen.push_back(a.str().substr(0, 3)); };
    server->OnValidateGet = [&](TFtpServer&, TFtpCtrlSocket&, std::string&, bool&) { seen.push_back("validate"); };
    server->OnValidatePut = server->OnValidateGet;
    server->OnRetrSessionConnected = [&](TFtpServer&, TFtpCtrlSocket&, TAsyncSocket&, quint16) { seen.push_back("connected"); };
    server->OnStorSessionConnected = server->OnRetrSessionConnected;
    server->OnRetrDataSent = [&](TFtpServer&, TFtpCtrlSocket&, TAsyncSocket&, quint16) { seen.push_back("sent"); };
    server->OnStorDataAvailable = [&](TFtpServer&, TFtpCtrlSocket&, TAsyncSocket&, const char*, int, quint16) {
        if (seen.back() != "data")
            seen.push_back("data");
    };
    server->OnRetrSessionClosed = [&](TFtpServer&, TFtpCtrlSocket&, TAsyncSocket&, quint16) { seen.push_back("closed"); };
    server->OnStorSessionClosed = server->OnRetrSessionClosed;
    WriteFile("a.txt", "tiny");
    FtpTestClient& c = LoggedIn();

    struct Case {
        Mode mode;
        bool upload;
        std::vector<std::string> order;
    };
    const Case cases[] = {
        { Mode::Active, false, { "200", "validate", "150", "connected", "sent", "226", "closed" } },
        { Mode::PassiveConnectFirst, false, { "227", "validate", "connected", "150", "sent", "226", "closed" } },
        { Mode::PassiveCommandFirst, false, { "227", "validate", "150", "connected", "sent", "226", "closed" } },
        { Mode::Active, true, { "200", "validate", "150", "connected", "data", "closed", "226" } },
        { Mode::PassiveConnectFirst, true, { "227", "validate", "connected", "150", "data", "closed", "226" } },
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(ModeName(k.mode) + (k.upload ? " upload" : " download"));
        seen.clear();
        if (k.upload)
            EXPECT_EQ(Upload(c, k.mode, "STOR b.txt", "data"), "226 File received ok");
        else
            EXPECT_EQ(Download(c, k.mode, "RETR a.txt"), "tiny");
        EXPECT_EQ(seen, k.order);
    }
}

TEST_F(Transfers, RestartOffsetsAre64BitAndUsedOnce)
{
    FtpTestClient& c = LoggedIn();
    WriteFile("k.bin", RandomBytes(1000));
    EXPECT_EQ(c.Command("REST 100"), "350 REST supported. Ready to resume at byte offset 100.");
    EXPECT_EQ(Download(c, Mode::PassiveConnectFirst, "RETR k.bin"), RandomBytes(1000).substr(100));
    EXPECT_EQ(Download(c, Mode::PassiveConnectFirst, "RETR k.bin").size(), 1000u); // offset spent

    // A sparse file of 5 GiB: the tail after a 64-bit offset.
    const int fd = ::open(SharePath("huge.bin").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    const qint64 five = 5LL << 30;
    ASSERT_EQ(::pwrite(fd, "0123456789", 10, five - 10), 10);
    ::close(fd);
    EXPECT_EQ(c.Command("REST " + std::to_string(five - 4)),
              "350 REST supported. Ready to resume at byte offset " + std::to_string(five - 4) + ".");
    EXPECT_EQ(Download(c, Mode::PassiveCommandFirst, "RETR huge.bin"), "6789");
}

TEST_F(Transfers, StoreReplacesRestartsAndHandlesEmptyUploads)
{
    FtpTestClient& c = LoggedIn();
    WriteFile("f.txt", "0123456789");
    EXPECT_EQ(Upload(c, Mode::Active, "STOR f.txt", "abc"), "226 File received ok");
    EXPECT_EQ(ReadFile("f.txt"), "abc");

    // A restarted upload keeps the bytes before its offset and ends where it ends.
    WriteFile("f.txt", "0123456789");
    c.Command("REST 4");
    EXPECT_EQ(Upload(c, Mode::PassiveConnectFirst, "STOR f.txt", "xy"), "226 File received ok");
    EXPECT_EQ(ReadFile("f.txt"), "0123xy");

    // No bytes: an empty file all the same, created or truncated.
    EXPECT_EQ(Upload(c, Mode::PassiveCommandFirst, "STOR new.txt", ""), "226 File received ok");
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(SharePath("new.txt"))));
    EXPECT_EQ(Upload(c, Mode::Active, "STOR f.txt", ""), "226 File received ok");
    EXPECT_EQ(ReadFile("f.txt"), "");
}

TEST_F(Transfers, AppendStartsAtTheEndOfTheFile)
{
    FtpTestClient& c = LoggedIn();
    WriteFile("log.txt", std::string(1000, 'a'));
    c.Command("REST 500"); // replaced by the size
    std::string first;
    auto d = Open(c, Mode::PassiveConnectFirst, "APPE log.txt", first);
    EXPECT_EQ(first, "150 APPE supported.  Ready to append file \"log.txt\" at offset 1000.");
    d->Send("bbb");
    d->Close();
    EXPECT_EQ(c.ReadLine(), "226 File received ok");
    EXPECT_EQ(ReadFile("log.txt"), std::string(1000, 'a') + "bbb");

    d = Open(c, Mode::Active, "APPE missing.txt", first);
    EXPECT_EQ(first, "150 APPE supported.  Ready to append file \"missing.txt\" at offset 0.");
    d->Send("new");
    d->Close();
    EXPECT_EQ(c.ReadLine(), "226 File received ok");
    EXPECT_EQ(ReadFile("missing.txt"), "new");

    // Appending nothing creates a missing file and leaves an existing one.
    EXPECT_EQ(Upload(c, Mode::PassiveCommandFirst, "APPE empty.txt", ""), "226 File received ok");
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(SharePath("empty.txt"))));
    EXPECT_EQ(Upload(c, Mode::Active, "APPE log.txt", ""), "226 File received ok");
    EXPECT_EQ(ReadFile("log.txt"), std::string(1000, 'a') + "bbb");
}

TEST_F(Transfers, RefusalsAndFailures)
{
    FtpTestClient& c = LoggedIn();
    std::string closing;
    EXPECT_EQ(Download(c, Mode::PassiveConnectFirst, "RETR nothere.txt", &closing), "");
    EXPECT_EQ(closing, "501 Cannot RETR. Cannot open file " + SharePath("nothere.txt"));
    EXPECT_EQ(Download(c, Mode::Active, "RETR .", &closing), "");
    EXPECT_EQ(closing, "501 Cannot RETR. Cannot open file " + SharePath("."));

    server->OnValidateGet = [](TFtpServer&, TFtpCtrlSocket&, std::string&, bool& ok) { ok = false; };
    server->OnValidatePut = server->OnValidateGet;
    EXPECT_EQ(c.Command("RETR a"), "500 Cannot RETR.");
    EXPECT_EQ(c.Command("STOR a"), "501 Permission Denied");
    EXPECT_EQ(c.Command("APPE a"), "500 Cannot APPE.");
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(SharePath("a"))));

    // Active connections that cannot be made.
    server->OnValidateGet = nullptr;
    server->OnValidatePut = nullptr;
    WriteFile("a", "x");
    std::string portArg;
    {
        auto gone = DataChannel::Listen();
        portArg = gone->PortArgument();
    }
    c.Command("PORT " + portArg);
    EXPECT_EQ(c.Command("RETR a"), "150 Opening data connection for a.");
    EXPECT_EQ(c.ReadLine(), "501 Cannot RETR. Client data socket connection error: 111");
    c.Command("PORT " + portArg);
    EXPECT_EQ(c.Command("STOR b"), "150 Opening data connection for b.");
    EXPECT_EQ(c.ReadLine(), "426 Connection closed; Client data socket connection error: 111.");
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(SharePath("b"))));
}

TEST_F(Transfers, TheOwnerMayRewriteThePathOrSupplyTheStream)
{
    FtpTestClient& c = LoggedIn();
    WriteFile("real.txt", "real");
    server->OnValidateGet = [&](TFtpServer&, TFtpCtrlSocket&, std::string& path, bool&) { path = SharePath("real.txt"); };
    EXPECT_EQ(Download(c, Mode::PassiveConnectFirst, "RETR alias.txt"), "real");

    TMemoryStream owned("owner's bytes");
    owned.Seek(8);
    server->OnValidateGet = nullptr;
    server->OnRetrSessionConnected = [&](TFtpServer&, TFtpCtrlSocket& client, TAsyncSocket&, quint16) {
        client.DataStream = &owned;
    };
    server->OnRetrSessionClosed = [&](TFtpServer&, TFtpCtrlSocket& client, TAsyncSocket&, quint16) {
        client.DataStream = nullptr; // the owner's to forget
    };
    EXPECT_EQ(Download(c, Mode::Active, "RETR virtual"), "bytes");
    EXPECT_EQ(owned.Data(), "owner's bytes"); // still alive, never freed by the engine

    // A write failure of the store stream aborts the upload with its reason.
    FailingStream failing(2);
    server->OnStorSessionConnected = [&](TFtpServer&, TFtpCtrlSocket& client, TAsyncSocket&, quint16) {
        client.DataStream = &failing;
    };
    server->OnStorSessionClosed = server->OnRetrSessionClosed;
    EXPECT_EQ(Upload(c, Mode::PassiveConnectFirst, "STOR x", RandomBytes(100000)),
              "426 Connection closed; Stream write error.");
    EXPECT_EQ(failing.Data().size(), 2048u); // the block before the failure was written
}

TEST_F(Transfers, AborEndsARunningTransferWithItsReply)
{
    FtpTestClient& c = LoggedIn();
    WriteFile("big.bin", RandomBytes(32 << 20));
    std::string first;
    auto d = Open(c, Mode::PassiveConnectFirst, "RETR big.bin", first); // not read: the transfer stalls
    EXPECT_EQ(first, "150 Opening data connection for big.bin.");
    c.SendLine("ABOR");
    EXPECT_EQ(c.ReadLine(), "501 Cannot RETR. ABORT requested by client");
    EXPECT_EQ(c.ReadLine(), "225 ABOR command successful.");

    d = Open(c, Mode::Active, "STOR part.bin", first);
    d->Send("some bytes");
    ASSERT_TRUE(WaitUntil([&] { return ReadFile("part.bin") == "some bytes"; }));
    c.SendLine("ABOR");
    EXPECT_EQ(c.ReadLine(), "426 Connection closed; ABORT requested by client.");
    EXPECT_EQ(c.ReadLine(), "225 ABOR command successful.");
    EXPECT_EQ(ReadFile("part.bin"), "some bytes"); // what was written stays
}

TEST_F(Transfers, CommandsDuringAnUploadKeepTheirLinesAndItsReply)
{
    FtpTestClient& c = LoggedIn();
    std::string first;
    auto d = Open(c, Mode::PassiveConnectFirst, "STOR u.bin", first);
    const std::string content = RandomBytes(300000);
    c.SendRaw("NO");
    d->Send(content.substr(0, 150000));
    c.SendRaw("OP during\r\n");
    EXPECT_EQ(c.ReadLine(), "200 Ok. Parameter was 'during'.");
    EXPECT_EQ(c.Command("PWD"), "257 \"" + homeDir + "/\" is current directory.");
    d->Send(content.substr(150000));
    d->Close();
    EXPECT_EQ(c.ReadLine(), "226 File received ok");
    EXPECT_EQ(ReadFile("u.bin"), content);
}

TEST_F(Transfers, BrokenConnectionsAreFailuresAndLeaveNothingOpen)
{
    FtpTestClient& c = LoggedIn();
    WriteFile("big.bin", RandomBytes(16 << 20));

    // An upload cut by a reset keeps what arrived and says it failed.
    std::string first;
    auto d = Open(c, Mode::PassiveConnectFirst, "STOR cut.bin", first);
    d->Send("kept");
    ASSERT_TRUE(WaitUntil([&] { return ReadFile("cut.bin") == "kept"; }));
    d->Reset();
    EXPECT_EQ(c.ReadLine(), "426 Connection closed; transfer aborted. Error #104");
    EXPECT_EQ(ReadFile("cut.bin"), "kept");

    // A download the visitor stops reading and closes is no success.
    d = Open(c, Mode::Active, "RETR big.bin", first);
    d->Close();
    const std::string closing = c.ReadLine();
    EXPECT_EQ(closing.rfind("501 Cannot RETR. ", 0), 0u) << closing;

    // A visitor who drops the control connection mid-transfer: its file
    // and sockets all go with it.
    const int before = OpenDescriptorCount();
    {
        FtpTestClient dropped;
        ASSERT_TRUE(dropped.Connect(port));
        dropped.ReadLine();
        dropped.Login();
        auto stalled = Open(dropped, Mode::PassiveConnectFirst, "RETR big.bin", first);
        ASSERT_TRUE(WaitUntil([&] { return server->ClientCount() == 2; }));
        dropped.Close();
        ASSERT_TRUE(WaitUntil([&] { return server->ClientCount() == 1; }));
    }
    DrainEvents();
    EXPECT_EQ(OpenDescriptorCount(), before);
    EXPECT_TRUE(server->Listening());
    EXPECT_EQ(Download(c, Mode::PassiveCommandFirst, "RETR big.bin").size(), 16u << 20);
}
