#include "DDKError.h"
#include "DDKRegExpr.h"

#include <gtest/gtest.h>

#include <string>

TEST(RegExpr, SubExprPicksGroupWholeMatchOrDefault)
{
    struct Case
    {
        const char* Input;
        const char* Pattern;
        int Index;
        bool CaseSensitive, ModG, ModM, ModS;
        const char* Expected;
    };
    const Case cases[] = {
        {"Alien #12345.avi", "#(\\d+)\\.\\w{3}$", 1, false, false, true, false, "12345"},
        {"Alien.avi", "#(\\d+)\\.\\w{3}$", 1, false, false, true, false, "none"},
        {"1.3.0.100", "(\\d+\\.\\d+\\.\\d+)\\.\\d+", 1, true, true, false, true, "1.3.0"},
        {"abc 123 def", "\\d+", 1, true, true, false, false, "123"},      // no group: the whole match
        {"abc 123 def", "(\\d)(\\d)", 5, true, true, false, false, "12"}, // above the highest group
        {"ab", "(x)?(b)", 1, true, true, false, false, ""},               // group 1 did not take part
        {"ab", "(b)(x)?", 2, true, true, false, false, "b"},              // trailing group unset
        {"ABC", "abc", 0, false, true, false, false, "ABC"},
        {"aaa", "a+", 0, true, true, false, false, "aaa"},
        {"aaa", "a+", 0, true, false, false, false, "a"},    // every quantifier lazy
        {"aaa", "a+?", 0, true, false, false, false, "aaa"}, // '?' then makes it greedy
        {"one\ntwo", "^two$", 0, true, true, true, false, "two"},
        {"one\ntwo", "one.two", 0, true, true, false, true, "one\ntwo"},
        {"a b", "a b", 0, true, true, false, false, "a b"}, // blanks are literal
        {"2012/1999", "/(\\d{4})$", 1, false, false, true, false, "1999"},
        {"\xff\xfe #42.avi", "#(\\d+)", 1, true, true, false, false, "42"} // not UTF-8 around the match
    };
    for (const Case& c : cases)
        EXPECT_EQ(DDKSubExpr(c.Input, c.Pattern, c.Index, c.CaseSensitive, c.ModG, c.ModM, c.ModS, "none"),
                  c.Expected)
            << c.Input << " / " << c.Pattern;
}

TEST(RegExpr, BadPatternIsReportedWithPcreMessage)
{
    for (const char* pattern : {"(unclosed", "a{2,1}", "\xff"}) {
        try {
            DDKSubExpr("text", pattern, 0, true, true, false, false, "");
            ADD_FAILURE() << pattern;
        } catch (const EDDKError& error) {
            const std::string message = error.what();
            EXPECT_EQ(message.rfind("DDKSubExpr: ", 0), 0u) << message;
            EXPECT_GT(message.size(), std::string("DDKSubExpr: ").size());
        }
    }
    EXPECT_THROW(DDKMatchWhole("text", "(", true, true), EDDKError);
}

TEST(RegExpr, MatchWholeNeedsTheFirstMatchToSpanTheInput)
{
    EXPECT_TRUE(DDKMatchWhole("", "[0-2]\\d:[0-5]\\d", true, false));
    EXPECT_TRUE(DDKMatchWhole("12:30", "[0-2]\\d:[0-5]\\d", true, false));
    EXPECT_FALSE(DDKMatchWhole("12:30x", "[0-2]\\d:[0-5]\\d", true, false));
    EXPECT_FALSE(DDKMatchWhole("x12:30", "[0-2]\\d:[0-5]\\d", true, false));
    EXPECT_TRUE(DDKMatchWhole("line\nbreak", "l.*k", true, true)); // '.' takes line breaks
    EXPECT_FALSE(DDKMatchWhole("aaa", "a+", true, false));         // lazy: the first match is "a"
}

TEST(RegExpr, IterationVisitsEveryMatchAndEndsAfterEmptyOnes)
{
    const TDDKRegExpr words("(\\w+)|(\\d)");
    const std::string input = "un deux, trois";
    std::string seen;
    TDDKMatch match;
    for (bool found = words.Exec(input, match); found; found = words.ExecNext(input, match))
        seen += match.Group(1) + "@" + std::to_string(match.Position(1)) + ";";
    EXPECT_EQ(seen, "un@0;deux@3;trois@9;");

    // An expression that matches the empty text advances one character at a time,
    // stepping over whole UTF-8 characters.
    const TDDKRegExpr nothing("x*");
    const std::string accented = "éxa";
    int count = 0;
    for (bool found = nothing.Exec(accented, match); found && count < 10;
         found = nothing.ExecNext(accented, match))
        ++count;
    EXPECT_EQ(count, 4); // before é, "x", before a... and at the end
}

TEST(RegExpr, ReplaceAllComputesEachReplacement)
{
    const TDDKRegExpr tags("</?([\\w ]+)/?>");
    const auto keepBold = [](const TDDKMatch& Match) {
        return Match.Group(1) == "b" ? "[" + Match.Group(0) + "]" : std::string();
    };
    EXPECT_EQ(tags.ReplaceAll("<p>Un <b>grand</b> film<br/></p>", keepBold), "Un [<b>]grand[</b>] film");
    EXPECT_EQ(tags.ReplaceAll("sans balise", keepBold), "sans balise");
    EXPECT_EQ(TDDKRegExpr("b*").ReplaceAll("abc", [](const TDDKMatch&) { return std::string("-"); }),
              "-a--c-");
}
