#include "DDKStrings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(Wildcard, MatchesNamesLikeTheFolderWalkerNeeds)
{
    struct Case
    {
        const char* Name;
        const char* Mask;
        bool Expected;
    };
    // '?' takes one whole UTF-8 character, or one byte that is not UTF-8; only
    // a-z fold together; '.' and '#' are ordinary characters.
    const Case cases[] = {{"", "*", true},
                          {"README", "*.*", false},
                          {"name.", "*.*", true},
                          {"film.avi", "*.AVI", true},
                          {"abc", "abc*", true},
                          {"abc", "abc**", false},
                          {"", "?", false},
                          {"", "**", false},
                          {"abc", "a?c", true},
                          {"Alien #12345.avi", "*#12345", false},
                          {"Alien #12345", "*#12345", true},
                          {"été.avi", "?té.avi", true},
                          {"Été.avi", "été.avi", false},
                          {"axxbyyb", "a*b", true},
                          {"\xff\xfe.avi", "??.avi", true},
                          {"\xff.avi", "\xfe.avi", false}};
    for (const Case& c : cases)
        EXPECT_EQ(DDKMatchWildcard(c.Name, c.Mask), c.Expected)
            << '"' << c.Name << "\" against \"" << c.Mask << '"';
}

TEST(Wildcard, ManyStarsStayFastAndOversizedInputMatchesNothing)
{
    // A naive recursive matcher takes exponential time here.
    const std::string name(3000, 'a');
    EXPECT_FALSE(DDKMatchWildcard(name + "b", std::string(40, '*') + "c"));
    EXPECT_TRUE(DDKMatchWildcard(name, "*a*a*a*a*a*a*a*a*a*a*"));
    EXPECT_FALSE(DDKMatchWildcard(std::string(4096, 'a'), "*"));
    EXPECT_FALSE(DDKMatchWildcard("a", "*" + std::string(255, 'a')));
    EXPECT_TRUE(DDKMatchWildcard(std::string(4095, 'a'), std::string(255, '*')));
}

TEST(StringLists, SplitAppendsPiecesAfterExistingItems)
{
    struct Case
    {
        const char* Text;
        const char* Delimiter;
        std::vector<std::string> Expected;
    };
    const Case cases[] = {{"", "\\", {"kept"}},
                          {"a\\b", "\\", {"kept", "a", "b"}},
                          {"\\a\\", "\\", {"kept", "", "a", ""}},
                          {"no delimiter", "\\", {"kept", "no delimiter"}},
                          {"a, b,, c", ", ", {"kept", "a", "b,", "c"}},
                          {"a,b", "", {"kept", "a,b"}}};
    for (const Case& c : cases) {
        TDDKStringList list;
        list.Add("kept");
        DDKSplit(list, c.Text, c.Delimiter);
        EXPECT_EQ(list.Strings(), c.Expected) << c.Text;
    }
}

TEST(StringLists, JoinAndFind)
{
    TDDKStringList list;
    EXPECT_EQ(DDKListToString(list, -1), "");
    for (const char* name : {"Élodie", "bob", "élodie", "BOB"})
        list.Add(name);
    EXPECT_EQ(DDKListToString(list, -1), "Élodie, bob, élodie, BOB");
    EXPECT_EQ(DDKListToString(list, 2), "Élodie, bob, ...");
    EXPECT_EQ(DDKListToString(list, 0), ", ...");

    EXPECT_EQ(DDKIndexOf(list, "Bob", true), 1);
    EXPECT_EQ(DDKIndexOf(list, "élodie", true), 2); // É and é differ under the ASCII rule
    EXPECT_EQ(DDKIndexOf(list, "ÉLODIE", true), 0);
    EXPECT_EQ(DDKIndexOf(list, "Alice", true), -1);
    EXPECT_EQ(DDKIndexOf(list, "ÉLODIE", false), 0); // the list's own locale comparison
}

TEST(Accents, PlainLettersKeepTheCharacterCount)
{
    struct Case
    {
        const char* Text;
        const char* Expected;
    };
    const Case cases[] = {{"Été", "Ete"},
                          {"Ñandú", "Nandú"},
                          {"œuvre æ ß ø å", "œuvre æ ß ø å"},
                          {"àäâãçéèêëìïîôöòõûüùÿñ", "aaaaceeeeiiioooouuuyn"},
                          {"ÁÀÄÂÃÇÉÈÊËÍÎÌÏÔÖÒÓÕÜÛÙÚÝŸÑ", "AAAAACEEEEIIIIOOOOOUUUUYYN"},
                          {"\xe9t\xe9 \xc3", "\xe9t\xe9 \xc3"}, // Windows-1252 bytes are not UTF-8: unchanged
                          {"\xc3\xa9\xc3", "e\xc3"}};
    for (const Case& c : cases)
        EXPECT_EQ(DDKRemoveAccents(c.Text), c.Expected) << c.Text;
}
