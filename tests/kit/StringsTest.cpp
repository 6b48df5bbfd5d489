#include "DDKStrings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

using Names = std::vector<std::string>;

TEST(Wildcard, MatchesNamesLikeTheFolderWalkerNeeds)
{
    // '?' takes one whole UTF-8 character, or one byte that is not UTF-8; only
    // a-z fold together; '.' and '#' are ordinary characters.
    // clang-format off
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"", "*", true}, {"name.", "*.*", true}, {"film.avi", "*.AVI", true}, {"abc", "a?c", true},
        {"axxbyyb", "a*b", true}, {"Alien #12345", "*#12345", true}, {"été.avi", "?té.avi", true},
        {"\xff\xfe.avi", "??.avi", true}, {"README", "*.*", false}, {"abc", "abc**", false}, {"", "?", false},
        {"Alien #12345.avi", "*#12345", false}, {"Été.avi", "été.avi", false}, {"\xff.avi", "\xfe.avi", false},
        // plain text after a star, or before any wildcard
        {".avi", "*.avi", true}, {"été\xc3.AVI", "*.avi", true}, {"avi", "*.avi", false},
        {".VANTRY-1.tmp", ".vantry-*.tmp", true}, {"a.vantry-1.tmp", ".vantry-*.tmp", false}};
    // clang-format on
    for (const auto& [name, mask, matches] : cases)
        EXPECT_EQ(DDKMatchWildcard(name, mask), matches) << name << " against " << mask;

    // A naive recursive matcher takes exponential time here.
    const std::string name(3000, 'a');
    EXPECT_FALSE(DDKMatchWildcard(name + "b", std::string(40, '*') + "c"));
    EXPECT_TRUE(DDKMatchWildcard(name, "*a*a*a*a*a*a*a*a*a*a*"));
    // Oversized names or masks match nothing.
    EXPECT_FALSE(DDKMatchWildcard(std::string(4096, 'a'), "*"));
    EXPECT_FALSE(DDKMatchWildcard(std::string(4092, 'a') + ".avi", "*.avi"));
    EXPECT_FALSE(DDKMatchWildcard("a", "*" + std::string(255, 'a')));
    EXPECT_TRUE(DDKMatchWildcard(std::string(4095, 'a'), std::string(255, '*')));
}

TEST(Text, ListsAndAccents)
{
    TDDKStringList pieces;
    pieces.Add("kept");
    DDKSplit(pieces, "a, b,, c", ", ");
    DDKSplit(pieces, "a,b", ""); // no delimiter: one piece
    EXPECT_EQ(pieces.Strings(), (Names{"kept", "a", "b,", "c", "a,b"}));
    TDDKStringList list;
    DDKSplit(list, "Élodie,bob,élodie,BOB", ",");
    EXPECT_EQ(DDKListToString(list, 2), "Élodie, bob, ...");
    EXPECT_EQ(DDKIndexOf(list, "élodie", true), 2); // É and é differ under the ASCII rule
    // Sorting a list that ignores duplicates keeps the first of each run of names that fold alike.
    TDDKStringList names;
    names.SetDuplicates(TDDKStringList::TDuplicates::Ignore);
    for (const char* name : {"b", "B", "a", "b", "B", "c"})
        names.Add(name);
    names.SetSorted(true);
    EXPECT_EQ(names.Strings(), (Names{"a", "b", "c"}));

    // Plain letters keep the character count; bytes that are not UTF-8 stay.
    EXPECT_EQ(DDKRemoveAccents("Ñandú œuvre æ ß àäâãçéèêëìïîôöòõûüùÿñ ÁÀÄÂÃÇÉÈÊËÍÎÌÏÔÖÒÓÕÜÛÙÚÝŸÑ"),
              "Nandú œuvre æ ß aaaaceeeeiiioooouuuyn AAAAACEEEEIIIIOOOOOUUUUYYN");
    EXPECT_EQ(DDKRemoveAccents("\xe9t\xe9 \xc3\xa9\xc3"), "\xe9t\xe9 e\xc3");
}

// What a sorted list orders by: the locale's wide collation key of the text
// lower-cased, then, between equal keys, the lower-cased text itself.
static std::pair<std::wstring, std::wstring> WideKey(std::string_view Text)
{
    std::wstring folded;
    for (std::size_t position = 0; position < Text.size();) {
        const char32_t code = DDKNextChar(Text, position);
        folded.push_back(static_cast<wchar_t>(code >= DDKInvalidByteBase ? code : std::towlower(code)));
    }
    std::wstring key(std::wcsxfrm(nullptr, folded.c_str(), 0) + 1, L'\0');
    key.resize(std::wcsxfrm(key.data(), folded.c_str(), key.size()));
    return {std::move(key), std::move(folded)};
}

static bool WideKeyLess(const std::string& A, const std::string& B)
{
    return WideKey(A) < WideKey(B);
}

// The UTF-8 bytes of Code.
static std::string Utf8(char32_t Code)
{
    if (Code < 0x80)
        return {static_cast<char>(Code)};
    if (Code < 0x800)
        return {static_cast<char>(0xC0 | Code >> 6), static_cast<char>(0x80 | (Code & 0x3F))};
    if (Code < 0x10000)
        return {static_cast<char>(0xE0 | Code >> 12), static_cast<char>(0x80 | (Code >> 6 & 0x3F)),
                static_cast<char>(0x80 | (Code & 0x3F))};
    return {static_cast<char>(0xF0 | Code >> 18), static_cast<char>(0x80 | (Code >> 12 & 0x3F)),
            static_cast<char>(0x80 | (Code >> 6 & 0x3F)), static_cast<char>(0x80 | (Code & 0x3F))};
}

TEST(Text, SortingOrdersByTheWideCollationKeysInEveryLocale)
{
    // Random names of letters, case, accents, ligatures, combining marks,
    // other scripts, code points of every plane and bytes that are not UTF-8,
    // with names that fold alike, in the whole order the wide keys give, ties
    // included. They use a few dozen collation weights, which take one byte
    // each in the sort keys.
    const std::vector<std::string> pieces = {
        "a", "B", "e", "é", "É", "è", "œ", "Œ", "ß", "ﬁ", "e\u0301", "0", "9", " ", "-", "#", "(", ".",
        "Å", "ı", "İ", "ж", "Ω", "日", "本", "😀", "\x7f", "\u0080", "\u707f", "\u7080", "\U000f707f",
        "\U000f7080", "\U0010fffd", "\xff", "\xc3", "/"};
    std::mt19937 random(22);
    std::vector<std::string> names = {"", "a", "A", "à", "Titre 00001.avi", "titre 00001.AVI"};
    while (names.size() < 600) {
        std::string name;
        for (std::size_t count = random() % 9; count > 0; --count)
            name += pieces[random() % pieces.size()];
        names.push_back(name);
    }
    // Every code point of the alphabets and syllabaries up to U+2FFF, of the
    // CJK ideographs and of Yi, each starting a name of its own, mixed with
    // accents, ligatures and capitals: over 30 000 weights, so that the keys
    // take their two- and three-byte forms. The C locale, whose weights are
    // the code points, gets every code point there is: past a million
    // weights, for the longest form.
    std::vector<std::string> scripts, everyCode;
    const char* const tails[] = {"", "a", "É", "è", "e\u0301", "Œ", "ß", "Z", "日"};
    const auto addCodes = [&tails](std::vector<std::string>& Names, char32_t First, char32_t Last) {
        for (char32_t code = First; code <= Last; ++code)
            if (code < 0xD800 || code > 0xDFFF)
                Names.push_back(Utf8(code) + tails[code % std::size(tails)]);
    };
    for (const auto& [first, last] :
         {std::pair<char32_t, char32_t>{0x20, 0x2FFF}, {0x4E00, 0x9FFF}, {0xA000, 0xA4CF}})
        addCodes(scripts, first, last);
    addCodes(everyCode, 1, 0x10FFFF);

    const std::string previous = std::setlocale(LC_ALL, nullptr);
    for (const char* locale : {"fr_FR.UTF-8", "C.UTF-8", "C"}) {
        if (std::setlocale(LC_ALL, locale) == nullptr)
            continue;
        TDDKStringList list;
        for (const std::string& name : names)
            list.Add(name);
        list.SetSorted(true);
        std::vector<std::string> expected = names;
        std::stable_sort(expected.begin(), expected.end(), WideKeyLess);
        EXPECT_EQ(list.Strings(), expected) << locale;

        // The long list is checked pair by pair, and for holding each of its
        // names once.
        const std::vector<std::string>& many = std::string_view(locale) == "C" ? everyCode : scripts;
        TDDKStringList manyList;
        for (std::size_t i = 0; i < many.size(); ++i)
            manyList.AddObject(many[i], static_cast<std::int64_t>(i));
        manyList.SetSorted(true);
        EXPECT_EQ(manyList.Count(), static_cast<int>(many.size())) << locale;
        std::vector<bool> held(many.size());
        std::size_t misplaced = 0, lost = 0;
        std::pair<std::wstring, std::wstring> previousKey;
        for (int i = 0; i < manyList.Count(); ++i) {
            const std::size_t from = static_cast<std::size_t>(manyList.Objects(i));
            lost += held[from] || manyList[i] != many[from];
            held[from] = true;
            std::pair<std::wstring, std::wstring> key = WideKey(manyList[i]);
            misplaced += i > 0 && key < previousKey;
            previousKey = std::move(key);
        }
        EXPECT_EQ(misplaced, 0u) << locale;
        EXPECT_EQ(lost, 0u) << locale;
    }
    std::setlocale(LC_ALL, previous.c_str());
}

TEST(Wildcard, PlainTextThenOneStarMatchesAnyRestOfAName)
{
    // mask, name, matches
    const std::tuple<const char*, std::string, bool> cases[] = {
        {"allocine.*", "allocine.json", true}, {"allocine.*", "ALLOCINE.XML", true},
        {"allocine.*", "allocine.", true},     {"allocine.*", "allocine", false},
        {"allocine.*", "allocinex.json", false}, {"allocine.*", "allocine.été", true},
        {"été.*", "ÉTÉ.avi", false},           {"été.*", "été.avi", true},
        {"a*", std::string(4095, 'a'), true},  {"a*", std::string(4096, 'a'), false},
        {"a**", "a", false}};
    for (const auto& [mask, name, matches] : cases)
        EXPECT_EQ(DDKMatchWildcard(name, mask), matches) << mask << " against " << name.substr(0, 20);
}

TEST(Wildcard, AMaskReadOnceMatchesLikeTheMaskItself)
{
    // mask, name, matches: each shape of mask, at the edges of its shortcut.
    const std::string longName(4092, 'a');
    // clang-format off
    const std::tuple<const char*, std::string, bool> cases[] = {
        {"tmdb.json", "tmdb.json", true}, {"tmdb.json", "TMDB.Json", true}, {"tmdb.json", "tmdb.json.bak", false},
        {"tmdb.json", "tmdb.jso", false}, {"tmdb.json", "", false}, {"tmdb.json", "tmdb.jsön", false},
        {"*.avi", "Film.AVI", true}, {"*.avi", "avi", false}, {"*.avi", longName + ".avi", false},
        {"*.avi", "ééé" + longName.substr(6) + ".avi", true}, {"allocine.*", "Allocine.xml", true},
        {"allocine.*", "allocin", false}, {"a?c", "abc", true}, {"a?c", "ac", false}, {"", "", true},
        {"", "a", false}, {"*", "", true}, {"été.avi", "été.AVI", true}};
    // clang-format on
    for (const auto& [mask, name, matches] : cases)
        EXPECT_EQ(TDDKWildcard(mask).Matches(name), matches) << mask << " against " << name.substr(0, 20);
    // Every mask against every name of a length that leaves room for one more
    // character, as the general matcher takes them: behind a leading 'é',
    // which no shortcut reads, a mask matches what it matched without it.
    for (const auto& masked : cases)
        for (const auto& named : cases) {
            const std::string mask = std::get<0>(masked), name = std::get<1>(named);
            if (name.size() >= 4000)
                continue;
            EXPECT_EQ(TDDKWildcard(mask).Matches(name), DDKMatchWildcard("é" + name, "é" + mask))
                << mask << " against " << name.substr(0, 20);
        }
}
