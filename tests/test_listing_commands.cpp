// LIST and NLST through real connections, passive and active, on a real
// folder: the lines sent, the "not found" line, and the owner's two ways of
// taking part (its own stream, or lines added to the engine's).
#include "ServerFixture.h"

#include "Stream.h"

#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace quill;
using namespace quill::test;

namespace {

const char* const Opening = "150 Opening data connection for directory list.";
const char* const Sent = "226 File sent ok";

int ThisYear()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    return local.tm_year + 1900;
}

// Gives `path` a last-write time in local time; listings show local time.
void SetLocalTime(const std::string& path, int year, int month, int day, int hour, int minute)
{
    std::tm local {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    const timespec times[2] = { { when, 0 }, { when, 0 } };
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

void MakeDir(const std::string& path)
{
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const auto end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<no CR LF>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

bool IsDotEntry(const std::string& line)
{
    for (const char* dots : { ".", ".." }) {
        const std::string tail = std::string(" ") + dots;
        if (line == dots
            || (line.size() > tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0))
            return true;
    }
    return false;
}

// The lines of a listing in a comparable order: the directory search's order
// is the system's, so everything after the leading "." and ".." is sorted.
std::vector<std::string> Comparable(std::vector<std::string> lines)
{
    auto rest = lines.begin();
    while (rest != lines.end() && rest - lines.begin() < 2 && IsDotEntry(*rest))
        ++rest;
    std::sort(rest, lines.end());
    return lines;
}

enum class Mode { Passive, Active };

// One listing command and what came back: the first reply, the bytes of the
// data connection and the reply that ends the transfer.
struct Exchange {
    std::string opening;
    std::string data;
    std::string closing;
};

// Runs `command` over a fresh data connection.
Exchange List(FtpTestClient& c, const std::string& command, Mode mode = Mode::Passive)
{
    Exchange out;
    std::unique_ptr<DataChannel> d;
    if (mode == Mode::Passive) {
        const int port = c.Pasv();
        EXPECT_NE(port, 0) << c.lastReply;
        d = DataChannel::ConnectTo(port);
    } else {
        d = DataChannel::Listen();
        EXPECT_EQ(c.Command("PORT " + d->PortArgument()), "200 Port command successful.");
    }
    if (!d) {
        ADD_FAILURE() << "no data connection";
        return out;
    }
    out.opening = c.Command(command);
    if (out.opening != Opening)
        return out;
    if (mode == Mode::Active && !d->Accept()) {
        ADD_FAILURE() << "the server did not connect";
        return out;
    }
    out.data = d->ReadAll();
    out.closing = c.ReadLine();
    return out;
}

// A stream the test owns, which tells when it is destroyed.
class OwnerStream : public TMemoryStream {
public:
    OwnerStream(std::string text, bool& destroyed)
        : TMemoryStream(std::move(text))
        , destroyed_(destroyed)
    {
    }
    ~OwnerStream() override { destroyed_ = true; }

private:
    bool& destroyed_;
};

class ListingCommands : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        ASSERT_TRUE(outer.isValid());
        // The share is a folder of its own so that its ".." has a known time.
        home = outer.path().toStdString() + "/home";
        homeDir = home;
        nextYear = std::to_string(ThisYear() + 1);
        MakeDir(home);
        WriteFile("readme.txt", std::string(1234, 'r'));
        SetLocalTime(home + "/readme.txt", ThisYear(), 1, 5, 9, 7);
        MakeDir(home + "/Old Stuff");
        SetLocalTime(home + "/Old Stuff", 1999, 12, 31, 23, 59);
        WriteFile("SETUP.EXE", std::string(40960, 'x'));
        SetLocalTime(home + "/SETUP.EXE", 2001, 3, 14, 8, 0);
        ASSERT_EQ(chmod((home + "/SETUP.EXE").c_str(), 0444), 0);
        WriteFile("notes.txt", "7 bytes");
        SetLocalTime(home + "/notes.txt", ThisYear() + 1, 7, 4, 12, 0);
        ASSERT_EQ(chmod((home + "/notes.txt").c_str(), 0444), 0);
        WriteFile(".secret.txt", "hidden");
        MakeDir(home + "/sub");
        WriteFile("sub/a.txt", "abc");
        SetLocalTime(home + "/sub/a.txt", 2001, 3, 2, 13, 5);
        WriteFile("sub/b.log", "");
        SetLocalTime(home + "/sub/b.log", 2010, 10, 10, 10, 10);
        WriteFile("sub/.hid", "h");
        SetLocalTime(home + "/sub", 2001, 3, 14, 10, 0);
        MakeDir(home + "/onlyhidden");
        WriteFile("onlyhidden/.one.txt", "1");
        WriteFile("onlyhidden/.two.txt", "2");
        SetLocalTime(home + "/onlyhidden", 2005, 5, 5, 5, 5);
        SetLocalTime(home, 2002, 6, 1, 12, 0);
        SetLocalTime(outer.path().toStdString(), 2003, 2, 2, 12, 0);

        server->OnBuildDirectory = [this](TFtpServer&, TFtpCtrlSocket& c, TFtpString& dir, bool detailed) {
            built.push_back(dir.str() + (detailed ? " detailed" : " names"));
            if (buildHook)
                buildHook(c, dir);
        };
        server->OnAlterDirectory = [this](TFtpServer&, TFtpCtrlSocket& c, TFtpString& dir, bool detailed) {
            altered.push_back(dir.str() + (detailed ? " detailed" : " names"));
            if (!appended.empty())
                c.DataStream->Write(appended.data(), static_cast<qint64>(appended.size()));
        };
        server->OnRetrSessionClosed = [this](TFtpServer&, TFtpCtrlSocket&, TAsyncSocket&, quint16) {
            events.push_back("retr closed");
        };
    }

    // "~" stands for the share, "NEXT" for next year.
    std::string Expand(std::string text) const
    {
        for (auto at = text.find('~'); at != std::string::npos; at = text.find('~', at + home.size()))
            text.replace(at, 1, home);
        if (const auto at = text.find("NEXT"); at != std::string::npos)
            text.replace(at, 4, nextYear);
        return text;
    }
    std::vector<std::string> Expand(std::vector<std::string> lines) const
    {
        for (std::string& line : lines)
            line = Expand(line);
        return lines;
    }

    FtpTestClient& Visitor()
    {
        FtpTestClient& c = NewClient();
        EXPECT_EQ(c.Login(), "230 User visitor logged in.");
        return c;
    }

    QTemporaryDir outer;
    std::string home;
    std::string nextYear;
    std::vector<std::string> built; // "<Directory> detailed|names" per OnBuildDirectory
    std::vector<std::string> altered; // the same per OnAlterDirectory
    std::function<void(TFtpCtrlSocket&, TFtpString&)> buildHook;
    std::string appended; // what OnAlterDirectory writes
};

// The lines of the share's folders, as LIST shows them.
const std::string HomeDot = "drw-rw-rw-   1 ftp      ftp            0 Jun 01  2002 .";
const std::string HomeDotDot = "drw-rw-rw-   1 ftp      ftp            0 Feb 02  2003 ..";
const std::string Readme = "-rw-rw-rw-   1 ftp      ftp         1234 Jan 05 09:07 readme.txt";
const std::string OldStuff = "drw-rw-rw-   1 ftp      ftp            0 Dec 31  1999 Old Stuff";
const std::string Setup = "-r-xr-xr-x   1 ftp      ftp        40960 Mar 14  2001 SETUP.EXE";
const std::string Notes = "-r--r--r--   1 ftp      ftp            7 Jul 04  NEXT notes.txt";
const std::string Sub = "drw-rw-rw-   1 ftp      ftp            0 Mar 14  2001 sub";
const std::string OnlyHidden = "drw-rw-rw-   1 ftp      ftp            0 May 05  2005 onlyhidden";
const std::string SubDot = "drw-rw-rw-   1 ftp      ftp            0 Mar 14  2001 .";
const std::string SubDotDot = "drw-rw-rw-   1 ftp      ftp            0 Jun 01  2002 ..";
const std::string SubA = "-rw-rw-rw-   1 ftp      ftp            3 Mar 02  2001 a.txt";
const std::string SubB = "-rw-rw-rw-   1 ftp      ftp            0 Oct 10  2010 b.log";

struct ListCase {
    const char* name;
    std::string command;
    std::vector<std::string> lines; // "~" is the share; after "." and "..", in any order
};

const ListCase ListCases[] = {
    { "LIST: the current folder, hidden files left out", "LIST",
        { HomeDot, HomeDotDot, Readme, OldStuff, Setup, Notes, Sub, OnlyHidden } },
    { "NLST: bare names, hidden ones too", "NLST",
        { ".", "..", "readme.txt", "Old Stuff", "SETUP.EXE", "notes.txt", "sub", "onlyhidden",
            ".secret.txt" } },
    { "a mask", "LIST *.txt", { Readme, Notes } },
    { "a mask, names", "NLST *.TXT", { "readme.txt", "notes.txt", ".secret.txt" } },
    { "a folder's name is its own entry", "LIST sub", { Sub } },
    { "a folder with a separator is its contents", "LIST sub/", { SubDot, SubDotDot, SubA, SubB } },
    { "a backslash is a separator", "LIST sub\\", { SubDot, SubDotDot, SubA, SubB } },
    { "names of a folder's contents", "NLST sub/", { ".", "..", "a.txt", "b.log", ".hid" } },
    { "an absolute name", "LIST ~/sub/a.txt", { SubA } },
    { "a name with a blank", "LIST Old Stuff", { OldStuff } },
    { "options are names", "LIST -la", { "~/-la not found" } },
    { "nothing matches", "NLST *.zip", { "~/*.zip not found" } },
    { "a missing folder", "LIST nothing/", { "~/nothing/*.* not found" } },
    { "only hidden entries match", "LIST onlyhidden/*.txt", { "~/onlyhidden/*.txt not found" } },
    { "names are not filtered", "NLST onlyhidden/*.txt", { ".one.txt", ".two.txt" } },
};

class ListingModes : public ListingCommands, public ::testing::WithParamInterface<Mode> { };

TEST_P(ListingModes, LinesSent)
{
    FtpTestClient& c = Visitor();
    for (const ListCase& row : ListCases) {
        SCOPED_TRACE(row.name);
        const Exchange x = List(c, Expand(row.command), GetParam());
        EXPECT_EQ(x.opening, Opening);
        EXPECT_EQ(x.closing, Sent);
        EXPECT_EQ(x.data.size() >= 2 ? x.data.substr(x.data.size() - 2) : x.data, "\r\n");
        EXPECT_EQ(Comparable(SplitLines(x.data)), Comparable(Expand(row.lines)));
    }
    // The send path's events are those of a download.
    EXPECT_EQ(CountEvents("retr closed"), static_cast<int>(std::size(ListCases)));
}

INSTANTIATE_TEST_SUITE_P(Modes, ListingModes, ::testing::Values(Mode::Passive, Mode::Active),
    [](const ::testing::TestParamInfo<Mode>& info) {
        return info.param == Mode::Passive ? "Passive" : "Active";
    });

TEST_F(ListingCommands, ListingFollowsTheCurrentFolder)
{
    FtpTestClient& c = Visitor();
    ASSERT_EQ(c.Command("CWD sub"), Expand("250 CWD command successful. \"~/sub/\" is current directory."));
    EXPECT_EQ(Comparable(SplitLines(List(c, "LIST").data)), Comparable({ SubDot, SubDotDot, SubA, SubB }));
    EXPECT_EQ(Comparable(SplitLines(List(c, "NLST ../on*").data)), Comparable({ "onlyhidden" }));
}

TEST_F(ListingCommands, SentInBlocksToALateConnection)
{
    server->TransferBlockSize = 5;
    FtpTestClient& c = Visitor();
    // The visitor connects only after the 150 reply.
    const int port = c.Pasv();
    ASSERT_NE(port, 0) << c.lastReply;
    ASSERT_EQ(c.Command("LIST sub/"), Opening);
    const auto d = DataChannel::ConnectTo(port);
    ASSERT_TRUE(d);
    EXPECT_EQ(Comparable(SplitLines(d->ReadAll())), Comparable({ SubDot, SubDotDot, SubA, SubB }));
    EXPECT_EQ(c.ReadLine(), Sent);
}

TEST_F(ListingCommands, RefusedBeforeLogin)
{
    FtpTestClient& c = NewClient();
    EXPECT_EQ(c.Command("LIST"), "530 Please login with USER and PASS.");
    EXPECT_EQ(c.Command("NLST sub"), "530 Please login with USER and PASS.");
    EXPECT_TRUE(built.empty());
}

TEST_F(ListingCommands, FailuresAnswer451)
{
    // Names on another drive cannot be resolved against the current folder.
    server->PathRules = PathStyle::Windows;
    homeDir = "C:\\Shared";
    FtpTestClient& c = Visitor();
    EXPECT_EQ(c.Command("LIST d:x"), "451 Failed: No current dir for 'D:'.");
    EXPECT_EQ(c.Command("NLST d:x"), "451 Failed: No current dir for 'D:'.");
    // An owner's handler that raises.
    buildHook = [](TFtpCtrlSocket&, TFtpString&) { throw std::runtime_error("catalogue offline"); };
    EXPECT_EQ(c.Command("LIST"), "451 Failed: catalogue offline.");
    EXPECT_TRUE(altered.empty());
    // The connection carries on.
    EXPECT_EQ(c.Command("NOOP"), "200 Ok. Parameter was ''.");
}

TEST_F(ListingCommands, TheOwnersStreamIsSentAsItIs)
{
    bool destroyed = false;
    auto own = std::make_unique<OwnerStream>("skip:virtual.txt\r\nfolder\r\n", destroyed);
    own->Seek(5); // sending starts where the owner left the stream
    bool supply = true;
    buildHook = [&](TFtpCtrlSocket& c, TFtpString&) {
        if (supply)
            c.DataStream = own.get();
    };
    FtpTestClient& c = Visitor();

    const Exchange x = List(c, "NLST virtual\\folder");
    EXPECT_EQ(x.opening, Opening);
    EXPECT_EQ(x.data, "virtual.txt\r\nfolder\r\n");
    EXPECT_EQ(x.closing, Sent);
    EXPECT_EQ(built, std::vector<std::string> { "virtual/folder names" });
    EXPECT_TRUE(altered.empty()) << "the engine adds nothing to the owner's listing";
    ASSERT_FALSE(destroyed) << "the owner's stream was freed by the engine";
    ASSERT_EQ(server->ClientCount(), 1);
    EXPECT_EQ(server->Client(0)->DataStream, own.get()) << "stays attached until the next listing";
    EXPECT_FALSE(server->Client(0)->DataStreamOpened);

    // The next listing lets go of it and builds its own.
    supply = false;
    EXPECT_EQ(List(c, "LIST sub").data, Sub + "\r\n");
    EXPECT_FALSE(destroyed);
    EXPECT_NE(server->Client(0)->DataStream, own.get());
    if (destroyed)
        own.release(); // already gone; the failure above says so
}

TEST_F(ListingCommands, TheOwnerChoosesWhatIsListed)
{
    buildHook = [](TFtpCtrlSocket&, TFtpString& dir) {
        if (dir == "virtual")
            dir = "sub/a.txt";
    };
    FtpTestClient& c = Visitor();
    EXPECT_EQ(List(c, "LIST virtual").data, SubA + "\r\n");
    EXPECT_EQ(altered, std::vector<std::string> { "sub/a.txt detailed" });
}

TEST_F(ListingCommands, OwnerLinesFollowTheEngines)
{
    appended = "-rw-rw-rw-   1 ftp      ftp            9 Jan 01  2000 extra.txt\r\n";
    struct Row {
        const char* name;
        std::string command;
        std::string before; // the engine's part, "~" for the share
        std::string event;
    };
    const Row rows[] = {
        { "after a line", "LIST sub/a.txt", SubA + "\r\n", "sub/a.txt detailed" },
        { "after the not-found line", "LIST -la", "~/-la not found\r\n", "-la detailed" },
        { "in a name listing", "NLST sub/b.log", "b.log\r\n", "sub/b.log names" },
    };
    FtpTestClient& c = Visitor();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        altered.clear();
        const Exchange x = List(c, row.command);
        EXPECT_EQ(x.data, Expand(row.before) + appended);
        EXPECT_EQ(x.closing, Sent);
        EXPECT_EQ(altered, std::vector<std::string> { row.event });
    }
}

} // namespace
