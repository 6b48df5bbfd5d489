#include "DDKError.h"
#include "DDKRegExpr.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

TEST(RegExpr, SubExprPicksGroupWholeMatchOrDefault)
{
    // Flags: c case-sensitive, g greedy, m multi-line, s '.' takes line breaks.
    const std::tuple<const char*, const char*, int, std::string, const char*> cases[] = {
        {"Alien #12345.avi", "#(\\d+)\\.\\w{3}$", 1, "m", "12345"},
        {"Alien.avi", "#(\\d+)\\.\\w{3}$", 1, "m", "none"},
        {"abc 123 def", "\\d+", 1, "cg", "123"}, // no group: the whole match
        {"ab", "(x)?(b)", 1, "cg", ""},          // group 1 did not take part
        {"aaa", "a+", 0, "c", "a"},              // every quantifier lazy
        {"aaa", "a+?", 0, "c", "aaa"},           // '?' then makes it greedy
        {"one\ntwo", "^two$", 0, "cgm", "two"},
        {"one\ntwo", "one.two", 0, "cgs", "one\ntwo"},
        {"\xff\xfe #42.avi", "#(\\d+)", 1, "cg", "42"}}; // not UTF-8 around the match
    for (const auto& [input, pattern, index, flags, expected] : cases) {
        const auto has = [&](char Flag) { return flags.find(Flag) != std::string::npos; };
        EXPECT_EQ(DDKSubExpr(input, pattern, index, has('c'), has('g'), has('m'), has('s'), "none"), expected)
            << input << " / " << pattern;
    }
    for (const char* pattern : {"(unclosed", "a{2,1}", "\xff"})
        EXPECT_THROW(DDKSubExpr("text", pattern, 0, true, true, false, false, ""), EDDKError) << pattern;
    EXPECT_TRUE(DDKMatchWhole("", "[0-2]\\d:[0-5]\\d", true, false));
}

TEST(RegExpr, IterationAndReplacementEndAfterEmptyMatches)
{
    const TDDKRegExpr nothing("x*");
    TDDKMatch match;
    int count = 0;
    for (bool found = nothing.Exec("éxa", match); found && count < 10; found = nothing.ExecNext("éxa", match))
        ++count;
    EXPECT_EQ(count, 4); // before é, "x", before a... and at the end: é is stepped over whole

    const auto keepBold = [](const TDDKMatch& Match) {
        return Match.Group(1) == "b" ? "[" + Match.Group(0) + "]" : std::string();
    };
    EXPECT_EQ(TDDKRegExpr("</?([\\w ]+)/?>").ReplaceAll("<p>Un <b>grand</b> film<br/></p>", keepBold),
              "Un [<b>]grand[</b>] film");
    EXPECT_EQ(TDDKRegExpr("b*").ReplaceAll("abc", [](const TDDKMatch&) { return std::string("-"); }),
              "-a--c-");
}
