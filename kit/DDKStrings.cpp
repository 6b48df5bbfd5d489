#include "DDKStrings.h"

#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <cstdio>

namespace {

char AsciiUpper(char C) { return C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C; }
char AsciiLower(char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C; }
bool IsTrimmed(char C) { return static_cast<unsigned char>(C) <= ' '; }

template <class Integer>
Integer ParseInteger(std::string_view S, Integer Default)
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
    return A.size() == B.size() && DDKCompareText(A, B) == 0;
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

std::string DDKTrim(std::string_view S) { return DDKTrimRight(DDKTrimLeft(S)); }

std::string DDKReplaceAll(std::string_view S, std::string_view From, std::string_view To)
{
    if (From.empty())
        return std::string(S);
    std::string result;
    std::size_t start = 0;
    for (std::size_t found; (found = S.find(From, start)) != std::string_view::npos; start = found + From.size()) {
        result.append(S.substr(start, found - start));
        result.append(To);
    }
    result.append(S.substr(start));
    return result;
}

std::int32_t DDKStrToIntDef(std::string_view S, std::int32_t Default) { return ParseInteger(S, Default); }

std::int64_t DDKStrToInt64Def(std::string_view S, std::int64_t Default) { return ParseInteger(S, Default); }
