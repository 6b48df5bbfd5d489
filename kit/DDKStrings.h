// Text routines shared by the whole program. Text is UTF-8; where a rule
// speaks of case it is the ASCII rule (only a-z and A-Z fold together) unless
// the routine's name says Locale.
#pragma once

#include "DDKStringList.h"

#include <cstdint>
#include <string>
#include <string_view>

// --- Everyday text helpers ---------------------------------------------------

// printf-style formatting into a std::string.
std::string DDKFormat(const char* Format, ...) __attribute__((format(printf, 1, 2)));

std::string DDKUpperCase(std::string_view S);                    // a-z to A-Z only
std::string DDKLowerCase(std::string_view S);                    // A-Z to a-z only
int DDKCompareText(std::string_view A, std::string_view B);      // ASCII case ignored
bool DDKSameText(std::string_view A, std::string_view B);        // ASCII case ignored
bool DDKStartsText(std::string_view Prefix, std::string_view S); // ASCII case ignored
bool DDKEndsText(std::string_view Suffix, std::string_view S);   // ASCII case ignored
// Position of Needle in Haystack from From on, ASCII case ignored; npos if absent.
std::size_t DDKFindText(std::string_view Haystack, std::string_view Needle, std::size_t From = 0);

// Removes leading and trailing characters up to the blank (control characters too).
std::string DDKTrim(std::string_view S);
// True when DDKTrim(S) is empty, without making it.
bool DDKBlank(std::string_view S);
std::string DDKTrimLeft(std::string_view S);
std::string DDKTrimRight(std::string_view S);

// Every occurrence of From replaced by To (exact comparison).
std::string DDKReplaceAll(std::string_view S, std::string_view From, std::string_view To);
// Each run of blanks shortened to one blank.
std::string DDKCollapseBlanks(std::string_view S);

// Whole decimal integers, optionally signed; Default when S is not one or does
// not fit the type.
std::int32_t DDKStrToIntDef(std::string_view S, std::int32_t Default);
std::int64_t DDKStrToInt64Def(std::string_view S, std::int64_t Default);

// Decodes the UTF-8 character at Position and moves Position past it. A byte
// that does not start a valid sequence is one character on its own, returned
// as DDKInvalidByteBase plus its value so that it never equals a real one.
inline constexpr char32_t DDKInvalidByteBase = 0x110000;
char32_t DDKNextChar(std::string_view S, std::size_t& Position);

// --- String lists, wildcards and accents -------------------------------------

// Appends the pieces of S between the occurrences of Delimiter to List.
void DDKSplit(TDDKStringList& List, std::string_view S, std::string_view Delimiter);
// The first MaxCount items joined by ", " (all when MaxCount is negative),
// followed by ", ..." when items were left out.
std::string DDKListToString(const TDDKStringList& List, std::int32_t MaxCount);
// Index of the first item equal to S (IgnoreCase: ASCII rule; otherwise the
// list's own comparison), or -1.
std::int32_t DDKIndexOf(const TDDKStringList& List, std::string_view S, bool IgnoreCase);
// True when the name S matches Mask ('*' any run, '?' one character, a-z case ignored).
bool DDKMatchWildcard(std::string_view S, std::string_view Mask);

// A mask read once, for matching many names as DDKMatchWildcard does.
class TDDKWildcard
{
public:
    explicit TDDKWildcard(std::string_view Mask);
    bool Matches(std::string_view S) const;

private:
    friend bool DDKMatchWildcard(std::string_view S, std::string_view Mask);

    // Masks that plain ASCII text settles: "*.avi", "allocine.*", "tmdb.json".
    enum class TKind : std::uint8_t { Other, StarThenPlain, PlainThenStar, Plain };
    struct TShape
    {
        std::size_t Prefix = 0; // bytes of plain ASCII text the mask starts with
        TKind Kind = TKind::Other;
    };
    static TShape ShapeOf(std::string_view Mask);
    static bool Matches(std::string_view S, std::string_view Mask, const TShape& Shape);

    std::string FMask;
    TShape FShape;
};
// S with the accented letters of French and its neighbours made plain.
std::string DDKRemoveAccents(std::string_view S);
