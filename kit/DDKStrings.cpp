#include "DDKStrings.h"

#include "DDKError.h"

#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace {

char AsciiUpper(char C)
{
    return C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C;
}
char AsciiLower(char C)
{
    return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C;
}
bool IsTrimmed(char C)
{
    return static_cast<unsigned char>(C) <= ' ';
}

template <class Integer> Integer ParseInteger(std::string_view S, Integer Default)
{
    if (!S.empty() && S.front() == '+')
        S.remove_prefix(1);
    Integer value{};
    const auto [end, error] = std::from_chars(S.data(), S.data() + S.size(), value);
    return S.empty() || error != std::errc() || end != S.data() + S.size() ? Default : value;
}

} // namespace

std::string DDKFormat(const char* Format, ...)
{
    va_list arguments;
    va_start(arguments, Format);
    va_list measure;
    va_copy(measure, arguments);
    const int length = std::vsnprintf(nullptr, 0, Format, measure);
    va_end(measure);
    std::string result(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(result.data(), result.size() + 1, Format, arguments);
    va_end(arguments);
    return result;
}

std::string DDKUpperCase(std::string_view S)
{
    std::string result(S);
    std::transform(result.begin(), result.end(), result.begin(), AsciiUpper);
    return result;
}

std::string DDKLowerCase(std::string_view S)
{
    std::string result(S);
    std::transform(result.begin(), result.end(), result.begin(), AsciiLower);
    return result;
}

int DDKCompareText(std::string_view A, std::string_view B)
{
    const std::size_t common = std::min(A.size(), B.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto left = static_cast<unsigned char>(AsciiUpper(A[i]));
        const auto right = static_cast<unsigned char>(AsciiUpper(B[i]));
        if (left != right)
            return left < right ? -1 : 1;
    }
    return A.size() == B.size() ? 0 : A.size() < B.size() ? -1 : 1;
}

bool DDKSameText(std::string_view A, std::string_view B)
{
    // Most texts compared are the same byte for byte.
    return A.size() == B.size() && (A == B || DDKCompareText(A, B) == 0);
}

bool DDKStartsText(std::string_view Prefix, std::string_view S)
{
    return S.size() >= Prefix.size() && DDKSameText(S.substr(0, Prefix.size()), Prefix);
}

bool DDKEndsText(std::string_view Suffix, std::string_view S)
{
    return S.size() >= Suffix.size() && DDKSameText(S.substr(S.size() - Suffix.size()), Suffix);
}

std::size_t DDKFindText(std::string_view Haystack, std::string_view Needle, std::size_t From)
{
    if (Needle.size() > Haystack.size())
        return std::string_view::npos;
    for (std::size_t i = From; i + Needle.size() <= Haystack.size(); ++i)
        if (DDKSameText(Haystack.substr(i, Needle.size()), Needle))
            return i;
    return std::string_view::npos;
}

std::string DDKTrimLeft(std::string_view S)
{
    const auto first = std::find_if_not(S.begin(), S.end(), IsTrimmed);
    return std::string(first, S.end());
}

std::string DDKTrimRight(std::string_view S)
{
    auto last = S.end();
    while (last != S.begin() && IsTrimmed(*(last - 1)))
        --last;
    return std::string(S.begin(), last);
}

std::string DDKTrim(std::string_view S)
{
    return DDKTrimRight(DDKTrimLeft(S));
}

bool DDKBlank(std::string_view S)
{
    return std::all_of(S.begin(), S.end(), IsTrimmed);
}

std::string DDKReplaceAll(std::string_view S, std::string_view From, std::string_view To)
{
    if (From.empty())
        return std::string(S);
    std::string result;
    std::size_t start = 0;
    for (std::size_t found; (found = S.find(From, start)) != std::string_view::npos;
         start = found + From.size()) {
        result.append(S.substr(start, found - start));
        result.append(To);
    }
    result.append(S.substr(start));
    return result;
}

std::string DDKCollapseBlanks(std::string_view S)
{
    std::string result;
    result.reserve(S.size());
    for (const char c : S)
        if (c != ' ' || result.empty() || result.back() != ' ')
            result.push_back(c);
    return result;
}

std::int32_t DDKStrToIntDef(std::string_view S, std::int32_t Default)
{
    return ParseInteger(S, Default);
}

std::int64_t DDKStrToInt64Def(std::string_view S, std::int64_t Default)
{
    return ParseInteger(S, Default);
}

char32_t DDKNextChar(std::string_view S, std::size_t& Position)
{
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(S[i]); };
    const unsigned char lead = byteAt(Position);
    const std::size_t length = lead < 0x80           ? 1
                               : (lead >> 5) == 0x6  ? 2
                               : (lead >> 4) == 0xE  ? 3
                               : (lead >> 3) == 0x1E ? 4
                                                     : 0;
    char32_t code = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    bool valid = length != 0 && Position + length <= S.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
        valid = (byteAt(Position + k) & 0xC0) == 0x80;
        code = (code << 6) | (byteAt(Position + k) & 0x3F);
    }
    if (valid && length > 1) {
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = code >= smallest[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    }
    if (!valid) {
        ++Position;
        return DDKInvalidByteBase + lead;
    }
    Position += length;
    return code;
}

void DDKSplit(TDDKStringList& List, std::string_view S, std::string_view Delimiter)
{
    if (S.empty())
        return;
    std::size_t start = 0;
    if (!Delimiter.empty())
        for (std::size_t found; (found = S.find(Delimiter, start)) != std::string_view::npos;
             start = found + Delimiter.size())
            List.Add(std::string(S.substr(start, found - start)));
    List.Add(std::string(S.substr(start)));
}

std::string DDKListToString(const TDDKStringList& List, std::int32_t MaxCount)
{
    if (MaxCount < 0)
        MaxCount = List.Count();
    std::string result;
    int i = 0;
    for (; i < List.Count() && i < MaxCount; ++i) {
        if (i > 0)
            result += ", ";
        result += List[i];
    }
    if (List.Count() > i)
        result += ", ...";
    return result;
}

std::int32_t DDKIndexOf(const TDDKStringList& List, std::string_view S, bool IgnoreCase)
{
    if (!IgnoreCase)
        return List.IndexOf(S);
    for (int i = 0; i < List.Count(); ++i)
        if (DDKSameText(List[i], S))
            return i;
    return -1;
}

namespace {

// Names and masks are compared character by character, so '?' stands for one
// whole UTF-8 character, not one byte of it.
std::u32string DecodeChars(std::string_view S)
{
    std::u32string result;
    result.reserve(S.size());
    for (std::size_t position = 0; position < S.size();)
        result.push_back(DDKNextChar(S, position));
    return result;
}

char32_t AsciiUpperChar(char32_t C)
{
    return C >= U'a' && C <= U'z' ? C - U'a' + U'A' : C;
}

// Longest name and mask the matcher takes; a longer one matches nothing.
constexpr std::size_t MaxWildcardName = 4095;
constexpr std::size_t MaxWildcardMask = 255;

bool IsPlainMaskChar(char C)
{
    return static_cast<unsigned char>(C) < 0x80 && C != '*' && C != '?';
}

bool SameAsciiText(std::string_view A, std::string_view B)
{
    return std::equal(A.begin(), A.end(), B.begin(), B.end(),
                      [](char X, char Y) { return AsciiUpperChar(X) == AsciiUpperChar(Y); });
}

// The name S against Mask, character by character.
bool MatchChars(std::string_view S, std::string_view Mask);

} // namespace

TDDKWildcard::TShape TDDKWildcard::ShapeOf(std::string_view Mask)
{
    // Walks list whole folders through a few masks, most of them "*.ext";
    // plain ASCII text settles those, and most mismatches, without the table
    // the matcher fills otherwise. An ASCII byte is always a character of its
    // own, whatever surrounds it, so comparing such bytes is comparing
    // characters.
    TShape shape;
    shape.Prefix = std::find_if_not(Mask.begin(), Mask.end(), IsPlainMaskChar) - Mask.begin();
    if (Mask.size() <= MaxWildcardMask && Mask.size() > 1 && Mask[0] == '*' &&
        std::all_of(Mask.begin() + 1, Mask.end(), IsPlainMaskChar))
        shape.Kind = TKind::StarThenPlain;
    else if (shape.Prefix > 0 && shape.Prefix + 1 == Mask.size() && Mask.back() == '*' &&
             Mask.size() <= MaxWildcardMask)
        shape.Kind = TKind::PlainThenStar; // "allocine.*"
    else if (shape.Prefix > 0 && shape.Prefix == Mask.size() && Mask.size() <= MaxWildcardMask)
        shape.Kind = TKind::Plain; // "tmdb.json"
    return shape;
}

bool TDDKWildcard::Matches(std::string_view S, std::string_view Mask, const TShape& Shape)
{
    const std::size_t prefix = Shape.Prefix;
    if (prefix > 0 && !SameAsciiText(S.substr(0, prefix), Mask.substr(0, prefix)))
        return false;
    switch (Shape.Kind) {
    case TKind::StarThenPlain:
        if (S.size() > MaxWildcardName)
            break; // counted in characters below
        return S.size() >= Mask.size() - 1 &&
               SameAsciiText(S.substr(S.size() - (Mask.size() - 1)), Mask.substr(1));
    case TKind::PlainThenStar:
        if (S.size() > MaxWildcardName)
            break;
        return S.size() >= prefix;
    case TKind::Plain:
        // The name starts with the whole mask: it matches when nothing follows.
        return S.size() == prefix;
    case TKind::Other:
        break;
    }
    return MatchChars(S, Mask);
}

TDDKWildcard::TDDKWildcard(std::string_view Mask) : FMask(Mask), FShape(ShapeOf(Mask)) {}

bool TDDKWildcard::Matches(std::string_view S) const
{
    return Matches(S, FMask, FShape);
}

bool DDKMatchWildcard(std::string_view S, std::string_view Mask)
{
    return TDDKWildcard::Matches(S, Mask, TDDKWildcard::ShapeOf(Mask));
}

namespace {

bool MatchChars(std::string_view S, std::string_view Mask)
{
    const std::u32string name = DecodeChars(S);
    const std::u32string mask = DecodeChars(Mask);
    if (name.size() > MaxWildcardName || mask.size() > MaxWildcardMask)
        return false;
    const std::size_t n = name.size();
    const std::size_t m = mask.size();
    // Whether name[i..] matches mask[j..], filled from the ends backwards so the
    // work stays bounded by n * m whatever the stars. A lone final '*' matches
    // any rest, even an empty one, but once the name is used up nothing else
    // may remain of the mask: "abc**" does not match "abc".
    const bool endsWithStar = m > 0 && mask[m - 1] == U'*';
    std::vector<char> next(m + 1), current(m + 1);
    for (std::size_t j = 0; j <= m; ++j)
        next[j] = j == m || (endsWithStar && j == m - 1);
    for (std::size_t i = n; i-- > 0;) {
        for (std::size_t j = m + 1; j-- > 0;) {
            if (endsWithStar && j == m - 1)
                current[j] = true;
            else if (j == m)
                current[j] = false;
            else if (mask[j] == U'*')
                current[j] = current[j + 1] || next[j];
            else if (mask[j] == U'?')
                current[j] = next[j + 1];
            else
                current[j] = AsciiUpperChar(name[i]) == AsciiUpperChar(mask[j]) && next[j + 1];
        }
        std::swap(next, current);
    }
    return next[0];
}

} // namespace

std::string DDKRemoveAccents(std::string_view S)
{
    return DDKTagged("DDKRemoveAccents: ", [&] {
        // Read position by position: the character at p in Accented becomes
        // the one at p in Plain. The small á, í, ó, ú and ý are missing on
        // purpose (their capitals are there); titles are compared this way.
        static const std::u32string_view Accented = U"àäâãçéèêëìïîôöòõûüùÿñÁÀÄÂÃÇÉÈÊËÍÎÌÏÔÖÒÓÕÜÛÙÚÝŸÑ";
        static constexpr std::string_view Plain = "aaaaceeeeiiioooouuuynAAAAACEEEEIIIIOOOOOUUUUYYN";
        static_assert(Plain.size() == 47);
        std::string result;
        result.reserve(S.size());
        for (std::size_t position = 0; position < S.size();) {
            // None of the accented letters is ASCII: such a byte stays as it is.
            if (static_cast<unsigned char>(S[position]) < 0x80) {
                result += S[position++];
                continue;
            }
            const std::size_t start = position;
            const std::size_t found = Accented.find(DDKNextChar(S, position));
            if (found != std::u32string_view::npos)
                result += Plain[found];
            else
                result.append(S.substr(start, position - start));
        }
        return result;
    });
}
