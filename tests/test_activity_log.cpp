// The activity log's lines from real sessions, the client list and the user count.
#include "ActivityLog.h"
#include "ServerFixture.h"
#include "SharingPolicy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace quill;
using namespace quill::test;

namespace {

// A bare control connection from a chosen loopback address; knows its own port.
class RawConnection {
public:
    RawConnection(const std::string& serverPort, const std::string& fromAddr)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in local {};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, fromAddr.c_str(), &local.sin_addr);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
        sockaddr_in sa {};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<uint16_t>(std::stoi(serverPort)));
        ::inet_pton(AF_INET, "127.0.0.1", &sa.sin_addr);
        ::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        pollfd p { fd_, POLLOUT, 0 };
        connected_ = ::poll(&p, 1, 5000) == 1;
        socklen_t len = sizeof local;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &len);
        port_ = ntohs(local.sin_port);
    }
    ~RawConnection() { Close(); }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool Connected() const { return connected_; }
    int Port() const { return port_; }
    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    int port_ = 0;
    bool connected_ = false;
};

class Log : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        sharedFolder = MakeShare();
        Wire(false);
    }

    // A fresh log (and a policy writing through it) on the server.
    void Wire(bool maskPasswords)
    {
        auto newLog = std::make_unique<ActivityLog>(
            [this](const std::string& line) { lines.push_back(line); }, maskPasswords);
        newLog->Attach(*server);
        auto newPolicy = std::make_unique<SharingPolicy>(
            SharingPolicy::Settings { [] { return std::string("secret"); }, [this] { return sharedFolder; },
                [this](AccessRight right) { return rights.Has(right); } },
            *newLog);
        newPolicy->Attach(*server);
        policy = std::move(newPolicy);
        log = std::move(newLog);
    }

    bool Logged(const std::string& line) const
    {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    bool WaitLogged(const std::string& line)
    {
        return WaitUntil([&] { return Logged(line); });
    }
    int CountContaining(const std::string& text) const
    {
        return static_cast<int>(std::count_if(lines.begin(), lines.end(),
            [&](const std::string& l) { return l.find(text) != std::string::npos; }));
    }

    FtpTestClient& LoggedIn()
    {
        FtpTestClient& c = NewClient();
        EXPECT_EQ(c.Login("bob", "secret"), "230 User bob logged in.");
        return c;
    }

    std::string sharedFolder;
    AccessRights rights;
    std::vector<std::string> lines;
    std::unique_ptr<ActivityLog> log;
    std::unique_ptr<SharingPolicy> policy;
};

} // namespace

TEST_F(Log, SessionLines)
{
    struct Case {
        const char* name;
        bool mask;
        std::string passCommand;
        std::string passLine;
        bool accepted;
    };
    const Case cases[] = {
        { "password shown", false, "PASS secret", "< 127.0.0.1 PASS secret", true },
        { "wrong password shown", false, "PASS Secret", "< 127.0.0.1 PASS Secret", false },
        { "password masked", true, "PASS secret", "< 127.0.0.1 PASS ***", true },
        { "lower-case keyword masked too", true, "pass secret", "< 127.0.0.1 PASS ***", true },
        { "wrong password masked", true, "PASS Secret", "< 127.0.0.1 PASS ***", false },
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Wire(k.mask);
        lines.clear();
        FtpTestClient& c = NewClient();
        c.Command("USER bob");
        c.Command(k.passCommand);
        c.Command("noop  a b ");
        EXPECT_EQ(c.Command("QUIT"), "221 Goodbye.");
        EXPECT_TRUE(WaitLogged("! 127.0.0.1 disconnected"));

        std::vector<std::string> expected = {
            "! 127.0.0.1 connected",
            "< 127.0.0.1 USER bob",
            "> 127.0.0.1 331 Password required for bob.",
            k.passLine,
        };
        if (k.accepted) {
            expected.insert(expected.end(),
                { "! 127.0.0.1 User 'bob' is authenticated", "> 127.0.0.1 230 User bob logged in." });
        } else {
            expected.push_back("> 127.0.0.1 530 Login incorrect.");
        }
        expected.insert(expected.end(),
            {
                "< 127.0.0.1 NOOP a b ",
                "> 127.0.0.1 200 Ok. Parameter was 'a b '.",
                "< 127.0.0.1 QUIT ",
                "> 127.0.0.1 221 Goodbye.",
                "! 127.0.0.1 disconnected",
            });
        EXPECT_EQ(lines, expected);
    }
}

TEST_F(Log, ServerStartAndStop)
{
    lines.clear();
    server->Stop();
    EXPECT_TRUE(WaitUntil([&] { return !server->Listening(); }));
    server->Start();
    EXPECT_TRUE(WaitUntil([&] { return server->Listening(); }));
    port = server->ListenPort();
    EXPECT_EQ(lines, (std::vector<std::string> { "! Server stopped", "! Server started" }));
}

TEST_F(Log, FailedDataConnectionsAreLoggedWithTheirError)
{
    struct Case {
        const char* name;
        std::string command;
        std::string line;
        std::string closing;
    };
    const Case cases[] = {
        { "download", "RETR f.txt", "! 127.0.0.1 Data session connected. Error #111",
            "501 Cannot RETR. Client data socket connection error: 111" },
        { "upload", "STOR g.txt", "! 127.0.0.1 Data session failed to open. Error #111",
            "426 Connection closed; Client data socket connection error: 111." },
    };
    rights.upload = true;
    WriteFile("f.txt", "content");
    FtpTestClient& c = LoggedIn();
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        // A port that was just closed: the active connection is refused.
        const std::string closedPort = DataChannel::Listen()->PortArgument();
        EXPECT_EQ(c.Command("PORT " + closedPort), "200 Port command successful.");
        lines.clear();
        const std::string first = c.Command(k.command);
        EXPECT_EQ(first.substr(0, 4), "150 ");
        EXPECT_EQ(c.ReadLine(), k.closing);
        DrainEvents();
        EXPECT_EQ(lines,
            (std::vector<std::string> {
                "< 127.0.0.1 " + k.command, "> 127.0.0.1 " + first, k.line, "> 127.0.0.1 " + k.closing }));
    }
}

TEST_F(Log, TransfersThatEndNormallyWriteNoDataLine)
{
    rights.upload = true;
    WriteFile("f.txt", "content");
    FtpTestClient& c = LoggedIn();
    lines.clear();
    for (const std::string command : { "RETR f.txt", "LIST", "NLST" }) {
        SCOPED_TRACE(command);
        const int port = c.Pasv();
        EXPECT_EQ(c.Command(command).substr(0, 4), "150 ");
        auto data = DataChannel::ConnectTo(port);
        ASSERT_TRUE(data);
        EXPECT_NE(data->ReadAll(), "");
        EXPECT_EQ(c.ReadLine(), "226 File sent ok");
    }
    const int port = c.Pasv();
    EXPECT_EQ(c.Command("STOR g.txt").substr(0, 4), "150 ");
    auto data = DataChannel::ConnectTo(port);
    ASSERT_TRUE(data);
    data->Send("uploaded");
    data->Close();
    EXPECT_EQ(c.ReadLine(), "226 File received ok");
    EXPECT_EQ(ReadFile("g.txt"), "uploaded");
    DrainEvents();
    EXPECT_EQ(CountContaining("Data s"), 0);
    EXPECT_EQ(CountContaining("Error #"), 0);
}

TEST_F(Log, VirtualFolderLines)
{
    sharedFolder = "/";
    FtpTestClient& c = LoggedIn();
    EXPECT_EQ(c.Command("CWD /VIRTUAL").substr(0, 4), "250 ");
    for (const std::string command : { "NLST", "RETR TEST" }) {
        const int port = c.Pasv();
        EXPECT_EQ(c.Command(command).substr(0, 4), "150 ");
        auto data = DataChannel::ConnectTo(port);
        ASSERT_TRUE(data);
        data->ReadAll();
        EXPECT_EQ(c.ReadLine(), "226 File sent ok");
    }
    const auto dir = std::find(lines.begin(), lines.end(), "! VIRTUAL DIR");
    const auto file = std::find(lines.begin(), lines.end(), "! VIRTUAL FILE");
    ASSERT_NE(dir, lines.end());
    ASSERT_NE(file, lines.end());
    // Each is written while its command is handled, before its reply.
    EXPECT_EQ(*(dir - 1), "< 127.0.0.1 NLST ");
    EXPECT_EQ(*(dir + 1), "> 127.0.0.1 150 Opening data connection for directory list.");
    EXPECT_LT(dir, file);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "! VIRTUAL DIR"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "! VIRTUAL FILE"), 1);
}

TEST_F(Log, ClientListAndUserCountFollowTheServer)
{
    lines.clear();
    log->ListClients(*server);
    EXPECT_EQ(lines, std::vector<std::string> { "No client" });
    EXPECT_EQ(UserCountText(*server), " With No users");

    // Addresses A, B, A: three users; without B the two A's follow each other: one.
    std::vector<std::unique_ptr<RawConnection>> connections;
    for (const char* from : { "127.0.0.1", "127.0.0.2", "127.0.0.1" }) {
        connections.push_back(std::make_unique<RawConnection>(port, from));
        ASSERT_TRUE(connections.back()->Connected()) << from;
        const int expected = static_cast<int>(connections.size());
        ASSERT_TRUE(WaitUntil([&] { return server->ClientCount() == expected; }));
    }
    lines.clear();
    log->ListClients(*server);
    EXPECT_EQ(lines,
        (std::vector<std::string> {
            "Client 1: 127.0.0.1/" + std::to_string(connections[0]->Port()),
            "Client 2: 127.0.0.2/" + std::to_string(connections[1]->Port()),
            "Client 3: 127.0.0.1/" + std::to_string(connections[2]->Port()),
        }));
    EXPECT_EQ(UserCountText(*server), "with 3 users");

    connections[1]->Close();
    ASSERT_TRUE(WaitUntil([&] { return server->ClientCount() == 2; }));
    EXPECT_EQ(UserCountText(*server), "with 1 user");
    lines.clear();
    log->ListClients(*server);
    EXPECT_EQ(lines,
        (std::vector<std::string> {
            "Client 1: 127.0.0.1/" + std::to_string(connections[0]->Port()),
            "Client 2: 127.0.0.1/" + std::to_string(connections[2]->Port()),
        }));

    connections.clear();
    ASSERT_TRUE(WaitUntil([&] { return server->ClientCount() == 0; }));
    EXPECT_EQ(UserCountText(*server), " With No users");
    lines.clear();
    log->ListClients(*server);
    EXPECT_EQ(lines, std::vector<std::string> { "No client" });
}

TEST(UserCount, RunsOfOneAddressCountOnce)
{
    struct Case {
        const char* name;
        std::vector<std::string> addresses;
        std::string text;
    };
    const Case cases[] = {
        { "nobody", {}, " With No users" },
        { "one client", { "10.0.0.5" }, "with 1 user" },
        { "two in a row from one address", { "10.0.0.5", "10.0.0.5" }, "with 1 user" },
        { "two addresses", { "10.0.0.5", "10.0.0.7" }, "with 2 users" },
        { "two in a row, then another", { "10.0.0.5", "10.0.0.5", "10.0.0.7" }, "with 2 users" },
        { "A, B, A", { "10.0.0.5", "10.0.0.7", "10.0.0.5" }, "with 3 users" },
        { "A, A, B, B, A", { "10.0.0.5", "10.0.0.5", "10.0.0.7", "10.0.0.7", "10.0.0.5" }, "with 3 users" },
        { "ten different", { "1", "2", "3", "4", "5", "6", "7", "8", "9", "10" }, "with 10 users" },
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(UserCountText(k.addresses), k.text);
    }
}
