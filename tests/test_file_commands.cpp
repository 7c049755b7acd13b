// DELE SIZE RNFR RNTO MKD RMD MDTM (and XMKD XRMD) through a real connection,
// acting on a real folder.
#include "ServerFixture.h"

#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using namespace quill;
using namespace quill::test;

namespace {

constexpr int64_t March2001 = 983538306; // 2001-03-02 13:05:06 UTC
constexpr int64_t Year2100 = 4102444800; // 2100-01-01 00:00:00 UTC: past 32-bit seconds
constexpr int64_t FiveGiB = int64_t { 5 } << 30;

const char* const Gate = "530 Please login with USER and PASS.";
const char* const Denied = "501 Permission denied";
const char* const MkdDenied = "550 'Permission denied': can't create directory.";

// One command and its reply; "~" stands for the shared folder in both.
struct Step {
    std::string command;
    std::string reply;
};

struct Case {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::string> present = {}; // names in the shared folder afterwards
    std::vector<std::string> absent = {};
    std::string veto = {}; // the event that refuses: "dele", "rnfr", "rnto", "mkd" or "rmd"
};

bool Exists(const std::string& path)
{
    struct stat st { };
    return lstat(path.c_str(), &st) == 0;
}

void PutFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

void MakeDir(const std::string& path)
{
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path;
}

void SetWriteTime(const std::string& path, int64_t utcSeconds)
{
    // The fraction must not show: the reply carries whole seconds.
    const timespec times[2]
        = { { static_cast<time_t>(utcSeconds), 0 }, { static_cast<time_t>(utcSeconds), 500'000'000 } };
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

class FileCommands : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        auto validate = [this](const char* event) {
            return [this, event](TFtpServer&, TFtpCtrlSocket&, std::string& path, bool& allowed) {
                asked.push_back(std::string(event) + " " + path);
                if (veto == event)
                    allowed = false;
                if (event == std::string("dele") && !rewriteDele.empty())
                    path = rewriteDele;
            };
        };
        server->OnValidateDele = validate("dele");
        server->OnValidateRnFr = validate("rnfr");
        server->OnValidateRnTo = validate("rnto");
        server->OnValidateRmd = validate("rmd");
        server->OnMakeDirectory
            = [this](TFtpServer&, TFtpCtrlSocket&, const std::string& path, bool& allowed) {
                  asked.push_back("mkd " + path);
                  if (veto == "mkd")
                      allowed = false;
              };
    }

    // Fills `dir` with the files every case starts from and makes it the
    // folder of the next login.
    void FillShare(const std::string& dir)
    {
        root = dir;
        homeDir = dir;
        PutFile(dir + "/a.txt", "abc");
        SetWriteTime(dir + "/a.txt", March2001);
        PutFile(dir + "/b.txt", "hello");
        PutFile(dir + "/late.txt", "");
        SetWriteTime(dir + "/late.txt", Year2100);
        PutFile(dir + "/.dot.txt", "..");
        MakeDir(dir + "/empty");
        MakeDir(dir + "/full");
        PutFile(dir + "/full/inner.txt", "x");
        MakeDir(dir + "/.hidden");
        // Sparse: takes no room on disk.
        const int fd = open((dir + "/big.bin").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, FiveGiB), 0);
        close(fd);
    }

    std::string NewFolder()
    {
        folders.push_back(std::make_unique<QTemporaryDir>());
        EXPECT_TRUE(folders.back()->isValid());
        return folders.back()->path().toStdString();
    }

    // A visitor logged in to a fresh share.
    FtpTestClient& Visit()
    {
        FillShare(NewFolder());
        asked.clear();
        FtpTestClient& c = NewClient();
        EXPECT_EQ(c.Login(), "230 User visitor logged in.");
        return c;
    }

    std::string Expand(std::string text) const
    {
        for (auto at = text.find('~'); at != std::string::npos; at = text.find('~', at + root.size()))
            text.replace(at, 1, root);
        return text;
    }

    void Play(FtpTestClient& c, const std::vector<Step>& steps)
    {
        for (const Step& step : steps) {
            SCOPED_TRACE(step.command);
            EXPECT_EQ(c.Command(Expand(step.command)), Expand(step.reply));
        }
    }

    void Run(const std::vector<Case>& cases)
    {
        for (const Case& row : cases) {
            SCOPED_TRACE(row.name);
            veto = row.veto;
            FtpTestClient& c = Visit();
            Play(c, row.steps);
            for (const std::string& name : row.present)
                EXPECT_TRUE(Exists(root + "/" + name)) << name << " should be there";
            for (const std::string& name : row.absent)
                EXPECT_FALSE(Exists(root + "/" + name)) << name << " should be gone";
            c.Close();
        }
        veto.clear();
    }

    std::vector<std::unique_ptr<QTemporaryDir>> folders;
    std::string root; // the share of the last login
    std::vector<std::string> asked; // "<event> <path>" for every validation
    std::string veto;
    std::string rewriteDele;
};

TEST_F(FileCommands, Dele)
{
    Run({
        { "deletes a file", { { "DELE a.txt", "250 File '~/a.txt' deleted." } }, {}, { "a.txt" } },
        { "hidden files count", { { "DELE .dot.txt", "250 File '~/.dot.txt' deleted." } }, {},
            { ".dot.txt" } },
        { "in a sub-folder, with a backslash",
            { { "DELE full\\inner.txt", "250 File '~/full/inner.txt' deleted." } }, { "full" },
            { "full/inner.txt" } },
        { "vetoed", { { "DELE a.txt", "550 Cannot delete." } }, { "a.txt" }, {}, "dele" },
        { "the veto comes before the parameter check", { { "DELE", "550 Cannot delete." } }, {}, {}, "dele" },
        { "empty parameter", { { "DELE", "501 Syntax error in parameter." } } },
        { "missing", { { "DELE nope.txt", "550 '~/nope.txt': no such file or directory." } } },
        { "a directory is not a file", { { "DELE empty", "550 '~/empty': no such file or directory." } },
            { "empty" } },
        { "a wildcard finds a file but deletes nothing",
            { { "DELE a*", "450 File '~/a*' can't be deleted." } }, { "a.txt" } },
    });
}

TEST_F(FileCommands, Size)
{
    Run({
        { "a file", { { "SIZE b.txt", "213 5" } } },
        { "a hidden file", { { "SIZE .dot.txt", "213 2" } } },
        { "sizes past 32 bits", { { "SIZE big.bin", "213 5368709120" } } },
        { "a wildcard gives the matching file", { { "SIZE full/*.txt", "213 1" } } },
        { "a directory", { { "SIZE empty", "550 Command failed: File not found." } } },
        { "missing", { { "SIZE nope.txt", "550 Command failed: File not found." } } },
        { "empty parameter", { { "SIZE", "501 Syntax error in parameter." } } },
    });
}

TEST_F(FileCommands, Rename)
{
    const Step rnfrA { "RNFR a.txt", "350 File exists, ready for destination name." };
    Run({
        { "the source survives other commands; a second RNTO finds it gone",
            { rnfrA, { "NOOP", "200 Ok. Parameter was ''." },
                { "RNTO c.txt", "250 File '~/a.txt' renamed to '~/c.txt'." },
                { "RNTO d.txt", "550 '~/a.txt': no such file or directory." } },
            { "c.txt" }, { "a.txt", "d.txt" } },
        { "a hidden source", { { "RNFR .dot.txt", "350 File exists, ready for destination name." } } },
        { "into a sub-folder",
            { rnfrA, { "RNTO full/moved.txt", "250 File '~/a.txt' renamed to '~/full/moved.txt'." } },
            { "full/moved.txt" }, { "a.txt" } },
        { "onto an existing file", { rnfrA, { "RNTO b.txt", "553 '~/b.txt': file already exists." } },
            { "a.txt", "b.txt" } },
        { "onto an existing directory", { rnfrA, { "RNTO empty", "450 File '~/a.txt' can't be renamed." } },
            { "a.txt", "empty" }, { "empty/a.txt" } },
        { "RNTO without RNFR", { { "RNTO c.txt", "550 '': no such file or directory." } }, {}, { "c.txt" } },
        { "the source went after RNFR",
            { rnfrA, { "DELE a.txt", "250 File '~/a.txt' deleted." },
                { "RNTO c.txt", "550 '~/a.txt': no such file or directory." } },
            {}, { "c.txt" } },
        { "a refused RNFR keeps the earlier source",
            { rnfrA, { "RNFR nope.txt", "550 '~/nope.txt': no such file or directory." },
                { "RNTO c.txt", "250 File '~/a.txt' renamed to '~/c.txt'." } },
            { "c.txt" } },
        { "RNFR vetoed",
            { { "RNFR a.txt", "500 Cannot RNFR." }, { "RNTO c.txt", "550 '': no such file or directory." } },
            { "a.txt" }, { "c.txt" }, "rnfr" },
        { "RNTO vetoed", { rnfrA, { "RNTO c.txt", "500 Cannot RNTO." } }, { "a.txt" }, { "c.txt" }, "rnto" },
        { "RNFR empty parameter", { { "RNFR", "501 Syntax error is parameter." } } },
        { "RNTO empty parameter", { rnfrA, { "RNTO", "501 Syntax error in parameter." } }, { "a.txt" } },
        { "RNFR missing", { { "RNFR nope.txt", "550 '~/nope.txt': no such file or directory." } } },
        { "RNFR of a directory", { { "RNFR empty", "550 '~/empty': no such file or directory." } } },
    });
}

TEST_F(FileCommands, MakeDirectory)
{
    Run({
        { "creates", { { "MKD new", "257 '~/new': directory created." } }, { "new" } },
        { "XMKD is MKD", { { "XMKD new", "257 '~/new': directory created." } }, { "new" } },
        { "vetoed", { { "MKD new", "550 '~/new': can't create directory." } }, {}, { "new" }, "mkd" },
        { "the veto comes before the parameter check", { { "MKD", "550 '~/': can't create directory." } }, {},
            {}, "mkd" },
        { "empty parameter", { { "MKD", "501 Syntax error in parameter." } } },
        { "an existing directory", { { "MKD empty", "550 '~/empty': can't create directory." } } },
        { "an existing file", { { "MKD a.txt", "550 '~/a.txt': file or directory already exists." } } },
        { "a missing parent", { { "MKD no/b", "550 '~/no/b': can't create directory." } }, {}, { "no" } },
    });
}

TEST_F(FileCommands, RemoveDirectory)
{
    Run({
        { "removes", { { "RMD empty", "250 '~/empty': directory removed." } }, {}, { "empty" } },
        { "XRMD is RMD", { { "XRMD empty", "250 '~/empty': directory removed." } }, {}, { "empty" } },
        { "vetoed", { { "RMD empty", "500 Cannot remove directory." } }, { "empty" }, {}, "rmd" },
        { "empty parameter", { { "RMD", "501 Syntax error in parameter." } } },
        { "missing", { { "RMD nope", "550 '~/nope': no such directory." } } },
        { "not empty", { { "RMD full", "550 '~/full': can't remove directory." } }, { "full/inner.txt" } },
        { "a file", { { "RMD a.txt", "550 '~/a.txt': can't remove directory." } }, { "a.txt" } },
        { "a hidden directory", { { "RMD .hidden", "550 '~/.hidden': no such directory." } }, { ".hidden" } },
    });
}

TEST_F(FileCommands, ModificationTime)
{
    Run({
        { "the exact UTC time", { { "MDTM a.txt", "213 20010302130506.000" } } },
        { "past 2038", { { "MDTM late.txt", "213 21000101000000.000" } } },
        { "a directory", { { "MDTM empty", "550 '~/empty': no such file or directory." } } },
        { "missing", { { "MDTM nope.txt", "550 '~/nope.txt': no such file or directory." } } },
        { "empty parameter", { { "MDTM", "501 Syntax error in MDTM parameter." } } },
    });
}

TEST_F(FileCommands, EventsGetTheLocalPath)
{
    FtpTestClient& c = Visit();
    Play(c,
        { { "DELE full/inner.txt", "250 File '~/full/inner.txt' deleted." },
            { "RNFR a.txt", "350 File exists, ready for destination name." },
            { "RNTO full\\z.txt", "250 File '~/a.txt' renamed to '~/full/z.txt'." },
            { "MKD new", "257 '~/new': directory created." },
            { "RMD new", "250 '~/new': directory removed." }, { "SIZE b.txt", "213 5" },
            { "MDTM full/z.txt", "213 20010302130506.000" } });
    const std::vector<std::string> expected = { Expand("dele ~/full/inner.txt"), Expand("rnfr ~/a.txt"),
        Expand("rnto ~/full/z.txt"), Expand("mkd ~/new"), Expand("rmd ~/new") };
    EXPECT_EQ(asked, expected);
}

TEST_F(FileCommands, ValidationRewritesThePath)
{
    FtpTestClient& c = Visit();
    rewriteDele = root + "/b.txt";
    EXPECT_EQ(c.Command("DELE a.txt"), Expand("250 File '~/b.txt' deleted."));
    EXPECT_TRUE(Exists(root + "/a.txt"));
    EXPECT_FALSE(Exists(root + "/b.txt"));
    // The replacement is checked as the visitor's own name would be.
    EXPECT_EQ(c.Command("DELE a.txt"), Expand("550 '~/b.txt': no such file or directory."));
    rewriteDele.clear();
}

TEST_F(FileCommands, BeforeLogin)
{
    FillShare(NewFolder());
    FtpTestClient& c = NewClient();
    for (const char* command : { "DELE a.txt", "SIZE a.txt", "RNFR a.txt", "RNTO c.txt", "MKD x", "XMKD x",
             "RMD empty", "XRMD empty" }) {
        SCOPED_TRACE(command);
        EXPECT_EQ(c.Command(command), Gate);
    }
    EXPECT_TRUE(asked.empty());
    // MDTM is not gated: with no current folder a name is taken as it is.
    Play(c,
        { { "MDTM ~/a.txt", "213 20010302130506.000" },
            { "MDTM no-such-file.txt", "550 'no-such-file.txt': no such file or directory." } });
    for (const char* name : { "a.txt", "empty" })
        EXPECT_TRUE(Exists(root + "/" + name)) << name;
    for (const char* name : { "c.txt", "x" })
        EXPECT_FALSE(Exists(root + "/" + name)) << name;
}

class ConfinedFileCommands : public FileCommands {
protected:
    void SetUp() override
    {
        FileCommands::SetUp();
        server->ConfineToHomeDir = true;
        // The share lies inside a folder holding what must stay out of reach.
        outer = NewFolder();
        PutFile(outer + "/x", "keep");
        MakeDir(outer + "/d");
        MakeDir(outer + "/home");
        FillShare(outer + "/home");
    }

    std::string outer;
};

TEST_F(ConfinedFileCommands, NamesOutsideTheShareAreRefused)
{
    FtpTestClient& c = NewClient();
    ASSERT_EQ(c.Login(), "230 User visitor logged in.");
    Play(c, { { "RNFR a.txt", "350 File exists, ready for destination name." } });
    asked.clear();
    for (const char* name : { "../x", "../d", "../new", "/etc/passwd", "sub/../../x", "full/../../d" }) {
        for (const char* keyword : { "DELE", "SIZE", "RNFR", "RNTO", "RMD", "XRMD", "MDTM", "MKD", "XMKD" }) {
            const std::string command = std::string(keyword) + " " + name;
            SCOPED_TRACE(command);
            const bool mkd = std::string(keyword).find("MKD") != std::string::npos;
            EXPECT_EQ(c.Command(command), mkd ? MkdDenied : Denied);
        }
    }
    EXPECT_EQ(FileText(outer + "/x"), "keep");
    EXPECT_TRUE(Exists(outer + "/d"));
    EXPECT_FALSE(Exists(outer + "/new"));
    EXPECT_TRUE(Exists(root + "/a.txt"));
    EXPECT_TRUE(asked.empty()) << "the owner is not asked about a refused name";
}

TEST_F(ConfinedFileCommands, TheShareItselfStays)
{
    FtpTestClient& c = NewClient();
    ASSERT_EQ(c.Login(), "230 User visitor logged in.");
    Play(c,
        { { "DELE .", Denied }, { "RMD .", Denied }, { "RMD ~", Denied }, { "XRMD ../home/", Denied },
            { "RNFR .", Denied }, { "RNFR ~", Denied }, { "RNTO .", Denied }, { "DELE full/..", Denied },
            // The empty parameter names the current folder, which here is the share.
            { "RMD", Denied },
            // Inside, everything works as usual, on the collapsed path.
            { "SIZE ~/full/../b.txt", "213 5" }, { "MDTM ./a.txt", "213 20010302130506.000" },
            { "MKD sub", "257 '~/sub': directory created." },
            { "RMD sub", "250 '~/sub': directory removed." },
            { "DELE full/../b.txt", "250 File '~/b.txt' deleted." } });
    EXPECT_TRUE(Exists(outer + "/home/a.txt"));
}

TEST_F(ConfinedFileCommands, MdtmBeforeLoginIsRefused)
{
    FtpTestClient& c = NewClient();
    Play(c, { { "MDTM ~/a.txt", Denied }, { "MDTM a.txt", Denied } });
}

TEST_F(ConfinedFileCommands, ASourceFromAnEarlierLoginCannotBeMoved)
{
    FtpTestClient& c = NewClient();
    ASSERT_EQ(c.Login(), "230 User visitor logged in.");
    Play(c, { { "RNFR a.txt", "350 File exists, ready for destination name." } });
    const std::string first = root;
    FillShare(NewFolder());
    ASSERT_EQ(c.Login(), "230 User visitor logged in.");
    // A new login forgets the rename source.
    EXPECT_EQ(c.Command("RNTO taken.txt"), "550 '': no such file or directory.");
    EXPECT_TRUE(Exists(first + "/a.txt"));
    EXPECT_FALSE(Exists(root + "/taken.txt"));
}

} // namespace
