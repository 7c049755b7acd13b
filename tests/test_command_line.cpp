#include "CommandLine.h"

#include <gtest/gtest.h>

using namespace quill;

TEST(CommandLine, TelnetSequencesAreCleaned)
{
    struct Case {
        const char* name;
        std::string line;
        std::string cleaned;
    };
    const Case cases[] = {
        { "plain", "NOOP", "NOOP" },
        { "interrupt and data mark before ABOR", "\xff\xf4\xff\xf2" "ABOR", "ABOR" },
        { "escaped 255 is one byte", "A\xff\xff" "B", "A\xff" "B" },
        { "lone IAC at the end is dropped", "NOOP\xff", "NOOP" },
        { "IAC and any byte vanish", "NO\xff" "xOP", "NOOP" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CleanTelnet(c.line, 255), c.cleaned);
    }
}

TEST(CommandLine, CleaningKeepsAtMostTheLimitAndSaysSo)
{
    bool tooLong = false;
    EXPECT_EQ(CleanTelnet(std::string(300, 'a'), 255, &tooLong), std::string(255, 'a'));
    EXPECT_TRUE(tooLong);
    EXPECT_EQ(CleanTelnet(std::string(255, 'a'), 255, &tooLong).size(), 255u);
    EXPECT_FALSE(tooLong);
    // Telnet bytes do not count against the limit.
    EXPECT_EQ(CleanTelnet("\xff\xf4" + std::string(255, 'a'), 255, &tooLong).size(), 255u);
    EXPECT_FALSE(tooLong);
}

TEST(CommandLine, KeywordAndParametersSplit)
{
    struct Case {
        const char* name;
        std::string cleaned;
        std::string keyword;
        std::string params;
    };
    const Case cases[] = {
        { "lower case keyword", "noop", "NOOP", "" },
        { "leading blanks and tabs", " \t noop", "NOOP", "" },
        { "keyword ends at a non-alphanumeric", "LIST-la", "LIST", "-la" },
        { "trailing blanks stay in params", "NOOP   x  ", "NOOP", "x  " },
        { "digits belong to the keyword", "X2Y z", "X2Y", "z" },
        { "no keyword", "?", "", "?" },
        { "empty line", "", "", "" },
        { "high bytes end the keyword", "US\xe9R a", "US", "\xe9R a" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CommandParts parts = SplitCommand(c.cleaned);
        EXPECT_EQ(parts.keyword, c.keyword);
        EXPECT_EQ(parts.params, c.params);
    }
}
