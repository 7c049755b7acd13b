// Visitors confined to their home folder: every name that lies outside once
// "." and ".." are collapsed is refused through the command's own error
// reply, no data connection is made for it, and nothing outside changes.
// Names inside, and links the owner placed inside, keep working.
#include "ServerFixture.h"

#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using namespace quill;
using namespace quill::test;

namespace {

const char* const RetrDenied = "501 Cannot RETR. Permission denied";
const char* const StorDenied = "501 Cannot STOR. Permission denied";
const char* const AppeDenied = "550 APPE failed.";
const char* const ListDenied = "451 Failed: Permission denied.";
const char* const CwdDenied = "501 CWD failed. Permission denied";
const char* const Denied = "501 Permission denied";

bool Exists(const std::string& path)
{
    struct stat st { };
    return lstat(path.c_str(), &st) == 0;
}

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

void Write(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

void MakeDir(const std::string& path)
{
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path;
}

struct Step {
    std::string command; // "~" is the home folder, "%" the folder around it
    std::string reply;
};

// The home folder "%/home" sits next to what must stay out of reach:
//   %/x                 "outside"
//   %/home2/secret.txt  a sibling whose name begins with the home's name
//   %/target/file.txt   where the owner's link %/home/link points
//   %/home/a.txt, %/home/x ("inside"), %/home/sub/b.txt
class Confinement : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        ASSERT_TRUE(folder.isValid());
        outer = folder.path().toStdString();
        home = outer + "/home";
        homeDir = home;
        server->ConfineToHomeDir = true;
        Write(outer + "/x", "outside");
        MakeDir(outer + "/home2");
        Write(outer + "/home2/secret.txt", "sibling");
        MakeDir(outer + "/target");
        Write(outer + "/target/file.txt", "target");
        MakeDir(home);
        Write(home + "/a.txt", "inside a");
        Write(home + "/x", "inside");
        MakeDir(home + "/sub");
        Write(home + "/sub/b.txt", "b");
        ASSERT_EQ(symlink((outer + "/target").c_str(), (home + "/link").c_str()), 0);

        auto record = [this](const char* what) {
            return [this, what](
                       TFtpServer&, TFtpCtrlSocket&, TAsyncSocket&, quint16) { events.push_back(what); };
        };
        server->OnRetrSessionConnected = record("data send");
        server->OnStorSessionConnected = record("data store");
    }

    std::string Expand(std::string text) const
    {
        for (auto at = text.find_first_of("~%"); at != std::string::npos; at = text.find_first_of("~%", at)) {
            const std::string& by = text[at] == '~' ? home : outer;
            text.replace(at, 1, by);
            at += by.size();
        }
        return text;
    }

    void Play(FtpTestClient& c, const std::vector<Step>& steps)
    {
        for (const Step& step : steps) {
            SCOPED_TRACE(step.command);
            EXPECT_EQ(c.Command(Expand(step.command)), Expand(step.reply));
        }
    }

    FtpTestClient& Visitor()
    {
        FtpTestClient& c = NewClient();
        EXPECT_EQ(c.Login(), "230 User visitor logged in.");
        return c;
    }

    // RETR or a listing in passive mode; the bytes received, or the refusal.
    std::string Fetch(FtpTestClient& c, const std::string& command)
    {
        const int port = c.Pasv();
        const auto d = DataChannel::ConnectTo(port);
        if (!d)
            return "<no data connection>";
        const std::string opening = c.Command(Expand(command));
        if (opening.rfind("150 ", 0) != 0)
            return opening;
        const std::string data = d->ReadAll();
        EXPECT_EQ(c.ReadLine(), "226 File sent ok");
        return data;
    }

    QTemporaryDir folder;
    std::string outer;
    std::string home;
};

TEST_F(Confinement, NamesOutsideAreRefused)
{
    FtpTestClient& c = Visitor();
    // Every refused command would have its data connection go here.
    const auto d = DataChannel::Listen();
    ASSERT_EQ(c.Command("PORT " + d->PortArgument()), "200 Port command successful.");
    Play(c,
        {
            { "RETR /etc/passwd", RetrDenied },
            { "RETR ../x", RetrDenied },
            { "RETR ..\\x", RetrDenied },
            { "RETR sub/../../x", RetrDenied },
            { "RETR link/../../x", RetrDenied },
            { "RETR %/x", RetrDenied },
            { "RETR ~/../x", RetrDenied },
            { "RETR ../home2/secret.txt", RetrDenied },
            { "RETR %/home2/secret.txt", RetrDenied },
            { "LIST ../", ListDenied },
            { "LIST ..", ListDenied },
            { "LIST ../*", ListDenied },
            { "LIST ../h*", ListDenied },
            { "LIST /", ListDenied },
            { "NLST %/home*", ListDenied },
            { "NLST ../home2", ListDenied },
            { "NLST sub/../../home2/", ListDenied },
            { "STOR ../new.txt", StorDenied },
            { "STOR %/home2/new.txt", StorDenied },
            { "STOR sub/../../x", StorDenied },
            { "APPE ../x", AppeDenied },
            { "APPE %/home2/secret.txt", AppeDenied },
            { "SIZE ../x", Denied },
            { "SIZE /etc/passwd", Denied },
            { "MDTM ../home2/secret.txt", Denied },
            { "CWD ..", CwdDenied },
            { "CDUP", CwdDenied },
            { "CWD /", CwdDenied },
            { "CWD /etc", CwdDenied },
            { "CWD %/home2", CwdDenied },
            { "CWD ~2", CwdDenied },
            { "PWD", "257 \"~/\" is current directory." },
        });
    EXPECT_FALSE(d->Accept(std::chrono::milliseconds(300))) << "a refused command made a data connection";
    EXPECT_EQ(CountEvents("data"), 0);
    EXPECT_EQ(Read(outer + "/x"), "outside");
    EXPECT_EQ(Read(outer + "/home2/secret.txt"), "sibling");
    EXPECT_FALSE(Exists(outer + "/new.txt"));
    EXPECT_FALSE(Exists(outer + "/home2/new.txt"));
    // The same PORT still serves a name inside.
    ASSERT_EQ(c.Command("RETR a.txt"), "150 Opening data connection for a.txt.");
    ASSERT_TRUE(d->Accept());
    EXPECT_EQ(d->ReadAll(), "inside a");
    EXPECT_EQ(c.ReadLine(), "226 File sent ok");
}

TEST_F(Confinement, NothingIsSentOnAPassiveConnectionForARefusal)
{
    FtpTestClient& c = Visitor();
    const int port = c.Pasv();
    const auto d = DataChannel::ConnectTo(port);
    ASSERT_TRUE(d);
    EXPECT_EQ(c.Command("RETR ../x"), RetrDenied);
    EXPECT_EQ(c.Command("NLST ../"), ListDenied);
    // The waiting connection carries the next accepted command, and only it.
    ASSERT_EQ(c.Command("RETR x"), "150 Opening data connection for x.");
    EXPECT_EQ(d->ReadAll(), "inside");
    EXPECT_EQ(c.ReadLine(), "226 File sent ok");
}

TEST_F(Confinement, NamesInsideWork)
{
    FtpTestClient& c = Visitor();
    struct Row {
        const char* name;
        std::string command;
        std::string bytes;
    };
    const Row rows[] = {
        { "dots that stay inside", "RETR sub/../a.txt", "inside a" },
        { "an absolute name inside", "RETR ~/sub/b.txt", "b" },
        { "the owner's link is followed", "RETR link/file.txt", "target" },
        // Collapsed before use: the system would take link/.. to the target's parent.
        { "\"..\" after the link is the home folder", "RETR link/../x", "inside" },
        { "a listing through the link", "NLST link/file.txt", "file.txt\r\n" },
        { "a listing of the home folder by name", "NLST ~/sub/b*", "b.txt\r\n" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Fetch(c, row.command), row.bytes);
    }
    Play(c,
        {
            { "SIZE link/../x", "213 6" },
            { "CWD sub", "250 CWD command successful. \"~/sub/\" is current directory." },
            { "RETR ../../x", RetrDenied },
            { "CDUP", "250 CWD command successful. \"~/\" is current directory." },
            { "CWD link", "250 CWD command successful. \"~/link/\" is current directory." },
            { "CWD ..", "250 CWD command successful. \"~/\" is current directory." },
            { "CWD ~/sub", "250 CWD command successful. \"~/sub/\" is current directory." },
            { "CWD ~", "250 CWD command successful. \"~/\" is current directory." },
        });
    const int port = c.Pasv();
    const auto d = DataChannel::ConnectTo(port);
    ASSERT_TRUE(d);
    ASSERT_EQ(c.Command("STOR sub/../new.txt"), "150 Opening data connection for sub/../new.txt.");
    d->Send("stored");
    d->Close();
    EXPECT_EQ(c.ReadLine(), "226 File received ok");
    EXPECT_EQ(Read(home + "/new.txt"), "stored");
}

TEST_F(Confinement, BeforeLoginEveryNameIsRefused)
{
    FtpTestClient& c = NewClient();
    Play(c, { { "MDTM ~/a.txt", Denied }, { "MDTM a.txt", Denied }, { "MDTM /etc/passwd", Denied } });
}

TEST_F(Confinement, SwitchingItOffKeepsTheCurrentVisitorConfined)
{
    FtpTestClient& c = Visitor();
    server->ConfineToHomeDir = false;
    Play(c, { { "RETR ../x", RetrDenied }, { "CWD ..", CwdDenied } });
    // The next login is free.
    ASSERT_EQ(c.Login(), "230 User visitor logged in.");
    EXPECT_EQ(Fetch(c, "RETR ../x"), "outside");
}

TEST_F(Confinement, SwitchingItOnDoesNotFreeALoggedInVisitor)
{
    server->ConfineToHomeDir = false;
    FtpTestClient& c = Visitor();
    server->ConfineToHomeDir = true;
    Play(c, { { "RETR ../x", RetrDenied }, { "LIST /", ListDenied }, { "SIZE %/x", Denied } });
}

TEST_F(Confinement, WithoutItTheEngineConfinesNobody)
{
    server->ConfineToHomeDir = false;
    FtpTestClient& c = Visitor();
    EXPECT_EQ(Fetch(c, "RETR %/x"), "outside");
    EXPECT_EQ(Fetch(c, "RETR ../home2/secret.txt"), "sibling");
    EXPECT_EQ(Fetch(c, "NLST %/home2/*.txt"), "secret.txt\r\n");
    Play(c,
        {
            { "SIZE /etc/passwd", "213 " + std::to_string(Read("/etc/passwd").size()) },
            { "CWD %/home2", "250 CWD command successful. \"%/home2/\" is current directory." },
        });
}

} // namespace
