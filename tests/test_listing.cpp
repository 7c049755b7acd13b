// Listing lines, name masks and the modification-time text.
#include "ListingFormat.h"
#include "LocalTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

using namespace quill;

namespace {

FileEntry Entry(std::string name, int64_t size = 0)
{
    FileEntry e;
    e.name = std::move(name);
    e.size = size;
    return e;
}

FileEntry Dir(std::string name)
{
    FileEntry e = Entry(std::move(name));
    e.directory = true;
    return e;
}

FileEntry ReadOnly(FileEntry e)
{
    e.readOnly = true;
    return e;
}

} // namespace

TEST(ListingLine, DetailedLines)
{
    struct Row {
        const char* what;
        FileEntry entry;
        int currentYear;
        CalendarFields local;
        std::string expected;
    };
    const Row rows[] = {
        { "file of this year shows the time", Entry("readme.txt", 1234), 2024, { 2024, 1, 5, 9, 7, 0 },
            "-rw-rw-rw-   1 ftp      ftp         1234 Jan 05 09:07 readme.txt\r\n" },
        { "directory of another year shows the year", Dir("Old Stuff"), 2024, { 1999, 12, 31, 23, 59, 0 },
            "drw-rw-rw-   1 ftp      ftp            0 Dec 31  1999 Old Stuff\r\n" },
        { "read-only program", ReadOnly(Entry("SETUP.EXE", 40960)), 2024, { 2001, 3, 14, 8, 0, 0 },
            "-r-xr-xr-x   1 ftp      ftp        40960 Mar 14  2001 SETUP.EXE\r\n" },
        { "directory named like a program", Dir("Tools.com"), 2024, { 2024, 10, 3, 17, 45, 0 },
            "drwxrwxrwx   1 ftp      ftp            0 Oct 03 17:45 Tools.com\r\n" },
        { "lower-case batch file", Entry("run.bat", 12), 2024, { 2024, 6, 30, 0, 0, 0 },
            "-rwxrwxrwx   1 ftp      ftp           12 Jun 30 00:00 run.bat\r\n" },
        { "program extension not last", Entry("setup.exe.txt", 1), 2024, { 2024, 2, 29, 12, 1, 0 },
            "-rw-rw-rw-   1 ftp      ftp            1 Feb 29 12:01 setup.exe.txt\r\n" },
        { "later year shows the year", Entry("future.dat", 7), 2024, { 2031, 8, 9, 10, 11, 0 },
            "-rw-rw-rw-   1 ftp      ftp            7 Aug 09  2031 future.dat\r\n" },
        { "directory size is never shown",
            [] {
                FileEntry e = Dir("sub");
                e.size = 4096;
                return e;
            }(),
            2024, { 2024, 11, 12, 1, 2, 0 },
            "drw-rw-rw-   1 ftp      ftp            0 Nov 12 01:02 sub\r\n" },
        { "5 GiB file", Entry("disk.img", 5LL << 30), 2024, { 2023, 4, 1, 0, 0, 0 },
            "-rw-rw-rw-   1 ftp      ftp   5368709120 Apr 01  2023 disk.img\r\n" },
        { "size wider than its column widens the line", Entry("huge.bin", 123456789012345LL), 2024,
            { 2024, 5, 1, 9, 30, 0 },
            "-rw-rw-rw-   1 ftp      ftp  123456789012345 May 01 09:30 huge.bin\r\n" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(FormatListingLine(row.entry, row.currentYear, row.local), row.expected);
    }
}

TEST(ListingLine, HiddenAndVolumeEntriesAreLeftOutOfDetailedListingsOnly)
{
    FileEntry hidden = Entry(".profile", 10);
    hidden.hidden = true;
    FileEntry volume = Entry("DISK1");
    volume.volumeLabel = true;
    const CalendarFields when { 2024, 1, 1, 0, 0, 0 };

    EXPECT_EQ(FormatListingLine(hidden, 2024, when), "");
    EXPECT_EQ(FormatListingLine(volume, 2024, when), "");
    EXPECT_EQ(FormatNameLine(hidden), ".profile\r\n");
    EXPECT_EQ(FormatNameLine(Dir("Old Stuff")), "Old Stuff\r\n");
}

TEST(MaskMatching, Table)
{
    struct Row {
        const char* mask;
        const char* name;
        bool matches;
    };
    const Row rows[] = {
        // "*.*" and "*"
        { "*.*", "readme.txt", true },
        { "*.*", "noext", true },
        { "*.*", ".profile", true },
        { "*.*", "a.b.c", true },
        { "*", "anything.at.all", true },
        // extensions
        { "*.txt", "readme.txt", true },
        { "*.txt", "README.TXT", true },
        { "*.txt", "a.b.txt", true },
        { "*.txt", "data.txt.bak", false },
        { "*.txt", "txt", false },
        { "*.txt", ".txt", true },
        // exact names, case-insensitively
        { "ReadMe.Txt", "readme.txt", true },
        { "readme.txt", "readme.txt2", false },
        { "noext", "noext", true },
        { "noext", "noext.", false },
        { "-l", "-l", true },
        // "?": one character, never a dot; nothing at a dot or the end
        { "?.txt", "a.txt", true },
        { "?.txt", "ab.txt", false },
        { "a?c", "abc", true },
        { "a?c", "a.c", false },
        { "ab?", "ab", true },
        { "ab??.x", "ab.x", true },
        { "ab?", "abcd", false },
        // "*." lists names without an extension
        { "*.", "noext", true },
        { "*.", "a.b", false },
        // "*" elsewhere
        { "a*b*c", "aXXbYYc", true },
        { "a*b*c", "abcb", false },
        { "*b", "abb", true },
        { "a*", "A.B.C", true },
        // beyond ASCII: one "?" per character, case folded per character
        { "?.txt", "\xC3\xA9.txt", true }, // é
        { "\xC3\x84PFEL*", "\xC3\xA4pfel.txt", true }, // Ä vs ä
        { "stra\xC3\x9F"
          "e",
            "STRASSE", false }, // ß is not SS
        { "\xCE\xA3*", "\xCF\x83\xCE\xBF\xCF\x86\xCE\xAF\xCE\xB1", true }, // Σ vs σοφία
        // bytes that are not UTF-8 match only themselves
        { "\xFF?",
            "\xFF"
            "a",
            true },
        { "\xFF", "\xFE", false },
        { "?", "\xFF", true },
        { "", "a", false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string("mask '") + row.mask + "' name '" + row.name + "'");
        EXPECT_EQ(MaskMatches(row.mask, row.name), row.matches);
    }
}

TEST(MdtmText, Table)
{
    struct Row {
        int64_t utc;
        const char* expected;
    };
    const Row rows[] = {
        { 0, "19700101000000.000" }, { 983538306, "20010302130506.000" }, { 951868799, "20000229235959.000" },
        { -1, "19691231235959.000" }, { 4102444800, "21000101000000.000" }, // past 2038
        { 253402300800, "100000101000000.000" }, // a 5-digit year is not cut
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.utc);
        EXPECT_EQ(MdtmText(row.utc), row.expected);
    }
}

// Runs each test in a known time zone and puts the process's zone back after.
class LocalTimeZone : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (saved_)
            setenv("TZ", saved_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

    void UseZone(const char* tz, bool reread = true)
    {
        if (!saved_ && !taken_) {
            if (const char* old = std::getenv("TZ"))
                saved_ = old;
            taken_ = true;
        }
        setenv("TZ", tz, 1);
        if (reread)
            tzset();
    }

    static constexpr const char* CentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";

private:
    std::optional<std::string> saved_;
    bool taken_ = false;
};

TEST_F(LocalTimeZone, LocalTimeUsesTheOffsetOfTheDateItself)
{
    UseZone(CentralEurope);
    const CalendarFields winter = LocalFields(979560000); // 2001-01-15 12:00 UTC
    const CalendarFields summer = LocalFields(995198400); // 2001-07-15 12:00 UTC
    EXPECT_EQ(winter.hour, 13);
    EXPECT_EQ(summer.hour, 14);
    EXPECT_EQ(UtcFields(995198400).hour, 12);
}

TEST_F(LocalTimeZone, ListingIsLocalWhileMdtmIsUtc)
{
    UseZone(CentralEurope);
    // Written at 23:30 local time on 31 December 2001, 22:30 UTC.
    const int64_t written = 1009837800;
    const CalendarFields local = LocalFields(written);
    EXPECT_EQ(FormatListingLine(Entry("readme.txt", 5), 2001, local),
        "-rw-rw-rw-   1 ftp      ftp            5 Dec 31 23:30 readme.txt\r\n");
    EXPECT_EQ(MdtmText(written), "20011231223000.000");

    // One hour later it is already next year locally.
    const CalendarFields newYear = LocalFields(written + 3600);
    EXPECT_EQ(FormatListingLine(Entry("readme.txt", 5), 2001, newYear),
        "-rw-rw-rw-   1 ftp      ftp            5 Jan 01  2002 readme.txt\r\n");
}

TEST_F(LocalTimeZone, CurrentLocalFieldsFollowsAChangeOfZone)
{
    UseZone("UTC0");
    (void)CurrentLocalFields();
    UseZone("XYZ-5", /*reread=*/false); // changed behind the process's back

    const CalendarFields utc = UtcFields(static_cast<int64_t>(std::time(nullptr)));
    const CalendarFields local = CurrentLocalFields();
    const int minutes = (local.hour * 60 + local.minute) - (utc.hour * 60 + utc.minute);
    const int offset = ((minutes % 1440) + 1440) % 1440;
    EXPECT_TRUE(offset == 300 || offset == 301) << offset;
}
