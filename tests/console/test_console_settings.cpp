// The settings layer: the profile format, the settings file's keys, the
// placement rules and the names of the files.
#include "ConsolePaths.h"
#include "ConsoleSettings.h"
#include "ProfileFile.h"
#include "WindowPlacement.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace quill;

namespace {

std::string ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string("<missing>");
}

void WriteAll(const QString& path, const std::string& text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.data(), static_cast<qint64>(text.size()));
}

} // namespace

TEST(ProfileText, LookupFindsKeysOfTheirSectionOnly)
{
    const std::string file = "; a comment\r\n"
                             "[config]\r\n"
                             "HomeDir = /srv/share  \r\n"
                             "Password=a=b\r\n"
                             "Empty=\r\n"
                             "  [ Access ]\n"
                             "Upload=1\n"
                             "upload=0\n"
                             "[Window]\n"
                             "no equals sign here\n";
    struct Case {
        const char* section;
        const char* key;
        std::optional<std::string> value;
    };
    const Case cases[] = {
        { "config", "HomeDir", "/srv/share" }, // blanks around the value go
        { "CONFIG", "homedir", "/srv/share" }, // names in any case
        { "config", "Password", "a=b" }, // the first '=' splits
        { "config", "Empty", "" },
        { "access", "Upload", "1" }, // the first of two wins
        { "config", "Upload", std::nullopt }, // another section's key
        { "Window", "no equals sign here", std::nullopt },
        { "missing", "HomeDir", std::nullopt },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(profile::Lookup(file, c.section, c.key), c.value);
    }
}

TEST(ProfileText, AssignReplacesAddsAndKeepsTheRest)
{
    struct Case {
        const char* name;
        const char* before;
        const char* section;
        const char* key;
        const char* value;
        const char* after;
    };
    const Case cases[] = {
        { "empty file", "", "config", "HomeDir", "/a", "[config]\nHomeDir=/a\n" },
        { "replace in place", "[config]\nHomeDir=/old\nPassword=x\n", "config", "homedir", "/new",
            "[config]\nhomedir=/new\nPassword=x\n" },
        { "add to its section", "[config]\nHomeDir=/a\n\n[Window]\nTop=1\n", "CONFIG", "Password", "pw",
            "[config]\nHomeDir=/a\nPassword=pw\n\n[Window]\nTop=1\n" },
        { "new section at the end", "; keep me\n[config]\nHomeDir=/a", "Data", "Port", "ftp",
            "; keep me\n[config]\nHomeDir=/a\n[Data]\nPort=ftp\n" },
        { "same key in another section untouched", "[a]\nK=1\n[b]\nK=2\n", "b", "K", "3",
            "[a]\nK=1\n[b]\nK=3\n" },
        { "value stored as given", "", "config", "Password", "  Pa ss;#", "[config]\nPassword=  Pa ss;#\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(profile::Assign(c.before, c.section, c.key, c.value), c.after);
    }
}

TEST(ProfileText, AValueCannotAddLinesOfItsOwn)
{
    const std::string file = profile::Assign("", "config", "Password", "x\r\n[access]\nUpload=1");
    EXPECT_EQ(profile::Lookup(file, "access", "Upload"), std::nullopt);
    EXPECT_EQ(profile::Lookup(file, "config", "Password"), "x  [access] Upload=1");
}

TEST(ProfileText, ParseInteger)
{
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {
        { "0", 0 },
        { "147", 147 },
        { "-400", -400 },
        { "+12", 12 },
        { " 42 ", 42 },
        { "0x1F", 31 },
        { "0XfF", 255 },
        { "$10", 16 },
        { "0xFFFFFFFF", -1 },
        { "-0x10", -16 },
        { "2147483647", 2147483647 },
        { "-2147483648", -2147483647 - 1 },
        // Anything else gives the default.
        { "", -7 },
        { "abc", -7 },
        { "12px", -7 },
        { "1.5", -7 },
        { "0x", -7 },
        { "-", -7 },
        { "2147483648", -7 },
        { "0x100000000", -7 },
        { "99999999999999999999", -7 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        EXPECT_EQ(profile::ParseInteger(c.text, -7), c.value);
    }
}

TEST(ProfileFile, ReadsDefaultsWritesAndCapsValues)
{
    QTemporaryDir dir;
    TProfileFile file(dir.filePath(QStringLiteral("sub/folder/Test.ini")));
    EXPECT_EQ(file.ReadString("config", "HomeDir", "dflt"), "dflt");
    EXPECT_EQ(file.ReadInteger("Window", "Top", 147), 147);
    EXPECT_TRUE(file.ReadBool("access", "Upload", true));

    // The first write makes the folders and the file.
    file.WriteString("config", "HomeDir", QString::fromUtf8("/home/jos\xC3\xA9/Share"));
    file.WriteBool("access", "Upload", false);
    file.WriteInteger("Window", "Top", -5);
    EXPECT_EQ(file.ReadString("config", "HomeDir", ""), QString::fromUtf8("/home/jos\xC3\xA9/Share"));
    EXPECT_FALSE(file.ReadBool("access", "Upload", true));
    EXPECT_EQ(file.ReadInteger("Window", "Top", 0), -5);
    EXPECT_EQ(ReadAll(file.Path()),
        "[config]\nHomeDir=/home/jos\xC3\xA9/Share\n[access]\nUpload=0\n[Window]\nTop=-5\n");

    // Any integer but 0 is true; text that is no integer gives the default.
    file.WriteString("access", "Rename", "7");
    file.WriteString("access", "Upload", "yes");
    EXPECT_TRUE(file.ReadBool("access", "Rename", false));
    EXPECT_FALSE(file.ReadBool("access", "Upload", false));
    EXPECT_TRUE(file.ReadBool("access", "Upload", true));

    // A value comes back with at most 2047 characters.
    file.WriteString("config", "Long", QString(3000, QLatin1Char('x')));
    EXPECT_EQ(file.ReadString("config", "Long", "").size(), profile::MaxValueLength);
}

TEST(ProfileFile, AFailedWriteRaisesAndLeavesNothingHalfDone)
{
    QTemporaryDir dir;
    // The settings folder is a regular file: nothing can be written below it.
    WriteAll(dir.filePath("blocker"), "not a folder");
    TProfileFile file(dir.filePath("blocker/Quillshare.ini"));
    EXPECT_THROW(file.WriteString("config", "HomeDir", "/a"), EProfileError);
    EXPECT_EQ(ReadAll(dir.filePath("blocker")), "not a folder");
}

TEST(ConsoleSettingsNames, DerivedNameAndCaseInsensitiveFiles)
{
    EXPECT_EQ(DerivedIniName("/usr/bin/Quillshare"), "quillshare.ini");
    EXPECT_EQ(DerivedIniName("C:/Programs/Quillshare.exe"), "quillshare.ini");
    EXPECT_EQ(DerivedIniName("/opt/q/My.Share.Tool"), "my.share.ini");

    QTemporaryDir dir;
    // A new file takes the name as given...
    EXPECT_EQ(ResolveProfileName(dir.path(), "Quillshare.ini"), dir.filePath("Quillshare.ini"));
    // ...an existing one is found whatever the case of either name.
    WriteAll(dir.filePath("QUILLSHARE.INI"), "[Data]\nPort=2121\n");
    EXPECT_EQ(ResolveProfileName(dir.path(), "quillshare.ini"), dir.filePath("QUILLSHARE.INI"));

    TConsoleSettings settings(dir.path(), "/usr/bin/Quillshare");
    EXPECT_EQ(settings.FilePath(), settings.DerivedFilePath());
    EXPECT_EQ(settings.ReadPortSetting(), "2121");
}

TEST(ConsoleSettings, FirstRunWritesPortUnderTheProductName)
{
    QTemporaryDir dir;
    TConsoleSettings settings(dir.path(), "/usr/bin/Quillshare");
    EXPECT_EQ(settings.ReadPortSetting(), "ftp");
    settings.WritePortSetting("ftp");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList { "Quillshare.ini" });
}

TEST(ConsoleSettings, ReadKeepsEveryValueTheFileLacksOrCannotGive)
{
    QTemporaryDir dir;
    WriteAll(dir.filePath("Quillshare.ini"),
        "[config]\nPassword=Secret Word\n"
        "[access]\nUpload=1\nRename=maybe\n"
        "[Window]\nTop=20\nWidth=wide\nHeight=0x200\nRunMinimized=1\n");
    TConsoleSettings settings(dir.path(), "/usr/bin/Quillshare");
    TConsoleSettingsValues v;
    v.homeDir = "/kept";
    v.rights.rename = true;
    settings.Read(v);
    EXPECT_EQ(v.homeDir, "/kept");
    EXPECT_EQ(v.password, "Secret Word");
    EXPECT_TRUE(v.rights.upload);
    EXPECT_TRUE(v.rights.rename); // "maybe" is no integer: the value it had
    EXPECT_FALSE(v.rights.createDir);
    EXPECT_EQ(v.placement, (TWindowPlacement { 20, -400, 400, 512 }));
}

TEST(ConsoleSettings, WriteStoresEveryKeyAsTyped)
{
    QTemporaryDir dir;
    TConsoleSettings settings(dir.path(), "/usr/bin/Quillshare");
    TConsoleSettingsValues v { "/srv/share", "Pa55 word", "Ann", "bob@example.org", {},
        { 10, 20, 640, 480 } };
    v.rights.createDir = true;
    v.rights.deleteFiles = true;
    settings.Write(v, "2121");
    EXPECT_EQ(ReadAll(settings.FilePath()),
        "[config]\nHomeDir=/srv/share\nPassword=Pa55 word\nFrom=Ann\n"
        "Address=bob@example.org\n"
        "[access]\nCreateDir=1\nDeleteDir=0\nUpload=0\nDeleteFiles=1\nRename=0\n"
        "[Window]\nTop=10\nLeft=20\nWidth=640\nHeight=480\nRunMinimized=0\n"
        "[Data]\nPort=2121\n");
    TConsoleSettingsValues back;
    settings.Read(back);
    EXPECT_EQ(back.homeDir, v.homeDir);
    EXPECT_EQ(back.password, v.password);
    EXPECT_EQ(back.mailFrom, v.mailFrom);
    EXPECT_EQ(back.mailAddress, v.mailAddress);
    EXPECT_TRUE(back.rights.createDir && back.rights.deleteFiles && !back.rights.upload);
    EXPECT_EQ(back.placement, v.placement);
}

TEST(WindowPlacement, Clamp)
{
    struct Case {
        const char* name;
        TWindowPlacement stored;
        QSize screen;
        TWindowPlacement placed;
    };
    const Case cases[] = {
        { "first run", {}, { 1024, 768 }, { 147, 0, 400, 400 } },
        { "narrow and short", { 10, 10, 300, 400 }, { 1024, 768 }, { 10, 10, 400, 400 } },
        { "past the right edge", { 10, 1500, 400, 500 }, { 1024, 768 }, { 10, 624, 400, 500 } },
        { "past the bottom", { 700, 5, 500, 401 }, { 1024, 768 }, { 367, 5, 500, 401 } },
        { "negative top", { -30, 5, 500, 500 }, { 1024, 768 }, { 0, 5, 500, 500 } },
        { "larger than the screen", { 0, 0, 1200, 900 }, { 1024, 768 }, { -132, -176, 1200, 900 } },
        { "huge values", { 2147483647, 2147483647, 2147483647, 2147483647 }, { 1024, 768 },
            { 768 - 2147483647, 1024 - 2147483647, 2147483647, 2147483647 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ClampPlacement(c.stored, c.screen), c.placed);
    }
}
