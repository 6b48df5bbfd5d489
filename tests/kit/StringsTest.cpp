#include "DDKStrings.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using Names = std::vector<std::string>;

TEST(Wildcard, MatchesNamesLikeTheFolderWalkerNeeds)
{
    // '?' takes one whole UTF-8 character, or one byte that is not UTF-8; only
    // a-z fold together; '.' and '#' are ordinary characters.
    // clang-format off
    const std::pair<const char*, const char*> matching[] = {
        {"", "*"}, {"name.", "*.*"}, {"film.avi", "*.AVI"}, {"abc", "a?c"}, {"axxbyyb", "a*b"},
        {"Alien #12345", "*#12345"}, {"été.avi", "?té.avi"}, {"\xff\xfe.avi", "??.avi"}};
    const std::pair<const char*, const char*> failing[] = {
        {"README", "*.*"}, {"abc", "abc**"}, {"", "?"}, {"Alien #12345.avi", "*#12345"},
        {"Été.avi", "été.avi"}, {"\xff.avi", "\xfe.avi"}};
    // clang-format on
    for (const auto& [name, mask] : matching)
        EXPECT_TRUE(DDKMatchWildcard(name, mask)) << name << " against " << mask;
    for (const auto& [name, mask] : failing)
        EXPECT_FALSE(DDKMatchWildcard(name, mask)) << name << " against " << mask;

    // A naive recursive matcher takes exponential time here.
    const std::string name(3000, 'a');
    EXPECT_FALSE(DDKMatchWildcard(name + "b", std::string(40, '*') + "c"));
    EXPECT_TRUE(DDKMatchWildcard(name, "*a*a*a*a*a*a*a*a*a*a*"));
    // Oversized names or masks match nothing.
    EXPECT_FALSE(DDKMatchWildcard(std::string(4096, 'a'), "*"));
    EXPECT_FALSE(DDKMatchWildcard("a", "*" + std::string(255, 'a')));
    EXPECT_TRUE(DDKMatchWildcard(std::string(4095, 'a'), std::string(255, '*')));
}

TEST(StringLists, SplitJoinAndFind)
{
    TDDKStringList pieces;
    pieces.Add("kept");
    DDKSplit(pieces, "a, b,, c", ", ");
    DDKSplit(pieces, "a,b", ""); // no delimiter: one piece
    EXPECT_EQ(pieces.Strings(), (Names{"kept", "a", "b,", "c", "a,b"}));

    TDDKStringList list;
    for (const char* name : {"Élodie", "bob", "élodie", "BOB"})
        list.Add(name);
    EXPECT_EQ(DDKListToString(list, -1), "Élodie, bob, élodie, BOB");
    EXPECT_EQ(DDKListToString(list, 2), "Élodie, bob, ...");
    EXPECT_EQ(DDKIndexOf(list, "élodie", true), 2); // É and é differ under the ASCII rule
}

TEST(Accents, PlainLettersKeepTheCharacterCount)
{
    EXPECT_EQ(DDKRemoveAccents("Ñandú œuvre æ ß àäâãçéèêëìïîôöòõûüùÿñ ÁÀÄÂÃÇÉÈÊËÍÎÌÏÔÖÒÓÕÜÛÙÚÝŸÑ"),
              "Nandú œuvre æ ß aaaaceeeeiiioooouuuyn AAAAACEEEEIIIIOOOOOUUUUYYN");
    EXPECT_EQ(DDKRemoveAccents("\xe9t\xe9 \xc3\xa9\xc3"), "\xe9t\xe9 e\xc3"); // bytes that are not UTF-8 stay
}
