// The file-system layer on a real temporary folder.
#include "FileSystem.h"
#include "ListingFormat.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

using namespace quill;

namespace {

std::vector<std::string> Names(const std::vector<FileEntry>& entries)
{
    std::vector<std::string> names;
    for (const FileEntry& e : entries)
        names.push_back(e.name);
    return names;
}

std::set<std::string> NameSet(const std::vector<FileEntry>& entries)
{
    const std::vector<std::string> names = Names(entries);
    return { names.begin(), names.end() };
}

const FileEntry* Find(const std::vector<FileEntry>& entries, const std::string& name)
{
    const auto it
        = std::find_if(entries.begin(), entries.end(), [&](const FileEntry& e) { return e.name == name; });
    return it == entries.end() ? nullptr : &*it;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tmp_.isValid()); }

    // The temporary folder with a trailing "/".
    std::string Root() const { return tmp_.path().toStdString() + "/"; }
    std::string At(const std::string& relative) const { return Root() + relative; }

    void MakeFile(const std::string& relative, const std::string& content = "x")
    {
        std::ofstream(At(relative), std::ios::binary) << content;
    }
    void MakeDir(const std::string& relative) { ASSERT_EQ(mkdir(At(relative).c_str(), 0755), 0); }

private:
    QTemporaryDir tmp_;
};

} // namespace

TEST_F(FileSystemTest, MasksSelectNamesAsOnWindows)
{
    for (const char* name :
        { "readme.txt", "Notes.TXT", "noext", "a.b.txt", "data.txt.bak", "x.txt", ".hidden" })
        MakeFile(name);
    MakeDir("sub");

    struct Row {
        const char* mask;
        std::set<std::string> expected;
    };
    const Row rows[] = {
        { "*.*",
            { ".", "..", "readme.txt", "Notes.TXT", "noext", "a.b.txt", "data.txt.bak", "x.txt", ".hidden",
                "sub" } },
        { "*.txt", { "readme.txt", "Notes.TXT", "a.b.txt", "x.txt" } },
        { "README.TXT", { "readme.txt" } },
        { "noext", { "noext" } },
        { "?.txt", { "x.txt" } },
        { "*.", { ".", "..", "noext", "sub" } },
        { "nothing*", {} },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mask);
        EXPECT_EQ(NameSet(FindEntries(At(row.mask))), row.expected);
    }
}

TEST_F(FileSystemTest, FolderItselfOrItsContents)
{
    MakeDir("sub");
    MakeFile("sub/one.txt");
    MakeFile("sub/two.txt");

    const std::vector<FileEntry> itself = FindEntries(At("sub"));
    ASSERT_EQ(Names(itself), std::vector<std::string> { "sub" });
    EXPECT_TRUE(itself[0].directory);

    const std::vector<FileEntry> contents = FindEntries(At("sub/"));
    ASSERT_EQ(contents.size(), 4u);
    EXPECT_EQ(contents[0].name, ".");
    EXPECT_EQ(contents[1].name, "..");
    for (int i : { 0, 1 }) {
        EXPECT_TRUE(contents[i].directory);
        EXPECT_FALSE(contents[i].hidden);
    }
    EXPECT_EQ(NameSet(contents), (std::set<std::string> { ".", "..", "one.txt", "two.txt" }));
    EXPECT_EQ(Names(FindEntries(At("sub/*.*"))), Names(contents));
}

TEST_F(FileSystemTest, NoEntriesWithoutAFolder)
{
    MakeFile("file.txt");
    EXPECT_TRUE(FindEntries(At("missing/*.*")).empty());
    EXPECT_TRUE(FindEntries(At("missing/")).empty());
    EXPECT_TRUE(FindEntries(At("file.txt/*.*")).empty());
    EXPECT_TRUE(FindEntries("").empty());
}

TEST(FileSystemRoot, RootHasNoDotEntries)
{
    const std::vector<FileEntry> entries = FindEntries("/*.*");
    EXPECT_FALSE(entries.empty());
    EXPECT_EQ(Find(entries, "."), nullptr);
    EXPECT_EQ(Find(entries, ".."), nullptr);
    EXPECT_EQ(Names(FindEntries("/")), Names(entries));
}

TEST_F(FileSystemTest, AttributesAndLinks)
{
    MakeFile("plain.txt", "hello");
    MakeFile(".secret", "abc");
    MakeFile("locked.txt", "1234567");
    ASSERT_EQ(chmod(At("locked.txt").c_str(), 0444), 0);
    MakeDir("folder");
    ASSERT_EQ(symlink("plain.txt", At("to-file").c_str()), 0);
    ASSERT_EQ(symlink("folder", At("to-folder").c_str()), 0);
    ASSERT_EQ(symlink("gone", At("dangling").c_str()), 0);

    struct Row {
        const char* name;
        bool directory, readOnly, hidden;
        int64_t size;
    };
    const Row rows[] = {
        { "plain.txt", false, false, false, 5 },
        { ".secret", false, false, true, 3 },
        { "locked.txt", false, true, false, 7 },
        { "folder", true, false, false, 0 },
        { "to-file", false, false, false, 5 },
        { "to-folder", true, false, false, 0 },
        { "dangling", false, false, false, 0 },
    };
    const std::vector<FileEntry> listed = FindEntries(Root());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const FileEntry* found = Find(listed, row.name);
        const std::optional<FileEntry> single = StatPath(At(row.name));
        ASSERT_NE(found, nullptr);
        ASSERT_TRUE(single.has_value());
        for (const FileEntry* e : { found, &*single }) {
            EXPECT_EQ(e->name, row.name);
            EXPECT_EQ(e->directory, row.directory);
            EXPECT_EQ(e->readOnly, row.readOnly);
            EXPECT_EQ(e->hidden, row.hidden);
            EXPECT_EQ(e->size, row.size);
            EXPECT_FALSE(e->system);
            EXPECT_FALSE(e->volumeLabel);
        }
    }
}

TEST_F(FileSystemTest, StatPathOfMissingOrMisnamedPaths)
{
    MakeFile("file.txt");
    MakeDir("dir");
    EXPECT_FALSE(StatPath(At("missing")).has_value());
    EXPECT_FALSE(StatPath(At("file.txt/")).has_value());
    EXPECT_FALSE(StatPath("").has_value());

    const std::optional<FileEntry> dir = StatPath(At("dir/"));
    ASSERT_TRUE(dir.has_value());
    EXPECT_EQ(dir->name, "dir");
    EXPECT_TRUE(dir->directory);
    EXPECT_EQ(StatPath("/")->name, "/");
}

TEST_F(FileSystemTest, SizesBeyond32Bits)
{
    const int64_t size = 5LL << 30; // sparse: takes no space
    const int fd = open(At("big.img").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    const int rc = ftruncate(fd, size);
    close(fd);
    if (rc != 0)
        GTEST_SKIP() << "the temporary folder's file system refuses a 5 GiB file";

    const std::vector<FileEntry> found = FindEntries(At("big.img"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].size, size);
    EXPECT_EQ(StatPath(At("big.img"))->size, size);
}

TEST_F(FileSystemTest, LastWriteTimeIsExactUtc)
{
    MakeFile("dated.txt");
    MakeDir("dated-dir");
    const int64_t when = 983538306; // 2001-03-02 13:05:06 UTC
    const timespec times[2] = { { when + 100, 0 }, { when, 999999999 } };
    for (const char* name : { "dated.txt", "dated-dir" }) {
        SCOPED_TRACE(name);
        ASSERT_EQ(utimensat(AT_FDCWD, At(name).c_str(), times, 0), 0);
        EXPECT_EQ(StatPath(At(name))->lastWriteUtc, when);
        const std::vector<FileEntry> found = FindEntries(At(name));
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].lastWriteUtc, when);
        EXPECT_EQ(MdtmText(found[0].lastWriteUtc), "20010302130506.000");
    }
}

TEST_F(FileSystemTest, RemoveFile)
{
    MakeFile("doomed.txt");
    MakeDir("dir");

    EXPECT_TRUE(RemoveFile(At("doomed.txt")));
    EXPECT_FALSE(StatPath(At("doomed.txt")).has_value());

    const FileOpResult missing = RemoveFile(At("doomed.txt"));
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.message, "No such file or directory");

    EXPECT_FALSE(RemoveFile(At("dir")));
    EXPECT_TRUE(StatPath(At("dir")).has_value());
}

TEST_F(FileSystemTest, RenameNeverOverwrites)
{
    MakeFile("a.txt", "AAA");
    MakeFile("b.txt", "BBB");
    MakeDir("sub");

    const FileOpResult ontoFile = RenameFile(At("a.txt"), At("b.txt"));
    EXPECT_FALSE(ontoFile);
    EXPECT_FALSE(ontoFile.message.empty());
    EXPECT_FALSE(RenameFile(At("a.txt"), At("sub")));
    EXPECT_EQ(ReadAll(At("a.txt")), "AAA");
    EXPECT_EQ(ReadAll(At("b.txt")), "BBB");

    EXPECT_TRUE(RenameFile(At("a.txt"), At("c.txt")));
    EXPECT_FALSE(StatPath(At("a.txt")).has_value());
    EXPECT_EQ(ReadAll(At("c.txt")), "AAA");

    EXPECT_TRUE(RenameFile(At("c.txt"), At("sub/moved.txt")));
    EXPECT_EQ(ReadAll(At("sub/moved.txt")), "AAA");

    EXPECT_TRUE(RenameFile(At("sub"), At("renamed")));
    EXPECT_EQ(ReadAll(At("renamed/moved.txt")), "AAA");

    EXPECT_FALSE(RenameFile(At("missing"), At("anything")));
    EXPECT_FALSE(StatPath(At("anything")).has_value());
}

TEST_F(FileSystemTest, CreateAndRemoveDirectories)
{
    MakeFile("file.txt");

    EXPECT_TRUE(CreateDir(At("new")));
    EXPECT_TRUE(StatPath(At("new"))->directory);
    EXPECT_FALSE(CreateDir(At("new"))); // exists
    EXPECT_FALSE(CreateDir(At("file.txt"))); // a file has the name
    EXPECT_FALSE(CreateDir(At("missing/child"))); // one level only
    EXPECT_FALSE(StatPath(At("missing")).has_value());

    MakeFile("new/inside.txt", "keep");
    const FileOpResult notEmpty = RemoveDir(At("new"));
    EXPECT_FALSE(notEmpty);
    EXPECT_EQ(notEmpty.message, "Directory not empty");
    EXPECT_EQ(ReadAll(At("new/inside.txt")), "keep");

    EXPECT_FALSE(RemoveDir(At("file.txt")));
    EXPECT_TRUE(StatPath(At("file.txt")).has_value());

    ASSERT_TRUE(RemoveFile(At("new/inside.txt")));
    EXPECT_TRUE(RemoveDir(At("new")));
    EXPECT_FALSE(StatPath(At("new")).has_value());
    EXPECT_FALSE(RemoveDir(At("new")));
}
