// Regular expressions (PCRE2, Perl syntax, UTF-8). A TDDKRegExpr is compiled
// once and never changes afterwards, so one object may serve several threads;
// each search hands back its own TDDKMatch.
//
// Text that is not valid UTF-8 is searched without error: its stray bytes
// match no pattern item, and the valid parts around them match as usual.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One match: the whole match is group 0, then the numbered groups.
class TDDKMatch
{
public:
    // Number of the highest group that took part in the match (0 when none did).
    int GroupCount() const { return FLastGroup; }
    // Whether group Index took part in the match.
    bool Matched(int Index) const;
    // The group's text; empty when it did not take part or does not exist.
    std::string Group(int Index) const;
    // Byte offset and length of the group in the searched text (0, 0 when absent).
    std::size_t Position(int Index) const;
    std::size_t Length(int Index) const;
    // Where the next search begins: just after this match.
    std::size_t End() const { return Position(0) + Length(0); }

private:
    friend class TDDKRegExpr;
    static constexpr std::size_t Unset = static_cast<std::size_t>(-1);
    std::string_view FSubject;
    std::vector<std::pair<std::size_t, std::size_t>> FGroups; // start, end
    int FLastGroup = 0;
};

class TDDKRegExpr
{
public:
    // Compiles Pattern. CaseSensitive false ignores letter case; ModG false
    // makes every quantifier lazy (a '?' after one then makes it greedy); ModM
    // lets '^' and '$' match at line breaks; ModS lets '.' match line breaks.
    // Blanks in the pattern are literal. A bad pattern raises EDDKError with
    // PCRE2's message.
    explicit TDDKRegExpr(std::string_view Pattern, bool CaseSensitive = true, bool ModG = true,
                         bool ModM = false, bool ModS = false);
    ~TDDKRegExpr();
    TDDKRegExpr(TDDKRegExpr&&) noexcept;
    TDDKRegExpr& operator=(TDDKRegExpr&&) noexcept;

    // Searches Input from byte offset Start for the leftmost match. Match
    // refers to Input, which must outlive it.
    bool Exec(std::string_view Input, TDDKMatch& Match, std::size_t Start = 0) const;
    // The match after Previous in the same Input. After an empty match the
    // search moves on, so a loop of ExecNext always ends.
    bool ExecNext(std::string_view Input, TDDKMatch& Match) const;

    // Input with every match, from left to right without overlap, replaced by
    // the text Replacement gives for it.
    std::string ReplaceAll(std::string_view Input,
                           const std::function<std::string(const TDDKMatch&)>& Replacement) const;

private:
    bool Search(std::string_view Input, std::size_t Start, std::uint32_t Options, TDDKMatch& Match) const;

    struct TCode;
    std::unique_ptr<TCode> FCode;
};

// Group Index of the first match of Pattern in Input; the whole match when
// Index is 0, negative or above the highest group that took part; Default
// when nothing matches. Errors are raised as "DDKSubExpr: " and the cause.
std::string DDKSubExpr(std::string_view Input, std::string_view Pattern, std::int32_t Index,
                       bool CaseSensitive, bool ModG, bool ModM, bool ModS, std::string_view Default);

// True when the first match of Pattern spans the whole of Input ('.' matches
// line breaks). The empty Input always gives true.
bool DDKMatchWhole(std::string_view Input, std::string_view Pattern, bool CaseSensitive, bool ModG);
