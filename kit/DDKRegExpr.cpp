#include "DDKRegExpr.h"

#include "DDKError.h"
#include "DDKStrings.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <unordered_map>

namespace {

// The shortcuts below are called once or more per movie with a handful of
// fixed patterns: each thread compiles a pattern once and keeps it.
const TDDKRegExpr& CompiledOnce(std::string_view Pattern, bool CaseSensitive, bool ModG, bool ModM, bool ModS)
{
    // Patterns built from data would grow this without end; a few hundred
    // is far more than the program's own.
    constexpr std::size_t MostKept = 256;
    thread_local std::unordered_map<std::string, TDDKRegExpr> compiled;
    std::string key;
    key.reserve(Pattern.size() + 4);
    key.push_back(
        static_cast<char>('0' + (CaseSensitive ? 1 : 0) + (ModG ? 2 : 0) + (ModM ? 4 : 0) + (ModS ? 8 : 0)));
    key.append(Pattern);
    if (const auto found = compiled.find(key); found != compiled.end())
        return found->second;
    TDDKRegExpr expression(Pattern, CaseSensitive, ModG, ModM, ModS);
    if (compiled.size() >= MostKept)
        compiled.clear();
    return compiled.emplace(std::move(key), std::move(expression)).first->second;
}

std::string ErrorText(int Code)
{
    PCRE2_UCHAR buffer[256];
    const int length = pcre2_get_error_message(Code, buffer, sizeof buffer);
    return length > 0 ? std::string(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length))
                      : DDKFormat("PCRE2 error %d", Code);
}

PCRE2_SPTR Units(std::string_view Text)
{
    return reinterpret_cast<PCRE2_SPTR>(Text.data());
}

} // namespace

// --- TDDKMatch -------------------------------------------------------------------

bool TDDKMatch::Matched(int Index) const
{
    return Index >= 0 && Index <= FLastGroup && FGroups[Index].first != Unset;
}

std::string TDDKMatch::Group(int Index) const
{
    return Matched(Index) ? std::string(FSubject.substr(Position(Index), Length(Index))) : std::string();
}

std::size_t TDDKMatch::Position(int Index) const
{
    return Matched(Index) ? FGroups[Index].first : 0;
}

std::size_t TDDKMatch::Length(int Index) const
{
    // With \K a match may end before it starts; such a group is taken as empty.
    return Matched(Index) && FGroups[Index].second > FGroups[Index].first
               ? FGroups[Index].second - FGroups[Index].first
               : 0;
}

// --- TDDKRegExpr -----------------------------------------------------------------

struct TDDKRegExpr::TCode
{
    pcre2_code* Code = nullptr;
    std::uint32_t Pairs = 1; // offset pairs a match needs: the whole match and each group
    ~TCode() { pcre2_code_free(Code); }
};

TDDKRegExpr::TDDKRegExpr(std::string_view Pattern, bool CaseSensitive, bool ModG, bool ModM, bool ModS)
    : FCode(std::make_unique<TCode>())
{
    // Stray bytes in the searched text must not stop a search: movie file
    // names come from the disk as they are.
    std::uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
    if (!CaseSensitive)
        options |= PCRE2_CASELESS;
    if (!ModG)
        options |= PCRE2_UNGREEDY;
    if (ModM)
        options |= PCRE2_MULTILINE;
    if (ModS)
        options |= PCRE2_DOTALL;
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    FCode->Code = pcre2_compile(Units(Pattern), Pattern.size(), options, &error, &errorOffset, nullptr);
    if (FCode->Code == nullptr)
        throw EDDKError(ErrorText(error));
    std::uint32_t groups = 0;
    pcre2_pattern_info(FCode->Code, PCRE2_INFO_CAPTURECOUNT, &groups);
    FCode->Pairs = groups + 1;
    // Compiled to machine code where the library can: a pattern then costs a
    // fraction of its interpreted time. Where it cannot, it is interpreted.
    pcre2_jit_compile(FCode->Code, PCRE2_JIT_COMPLETE);
}

TDDKRegExpr::~TDDKRegExpr() = default;
TDDKRegExpr::TDDKRegExpr(TDDKRegExpr&&) noexcept = default;
TDDKRegExpr& TDDKRegExpr::operator=(TDDKRegExpr&&) noexcept = default;

bool TDDKRegExpr::Search(std::string_view Input, std::size_t Start, std::uint32_t Options,
                         TDDKMatch& Match) const
{
    if (Start > Input.size())
        return false;
    // One match block per thread, made larger when a pattern needs it: a
    // search costs no allocation of its own.
    thread_local std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> data(nullptr,
                                                                                       pcre2_match_data_free);
    thread_local std::uint32_t pairs = 0;
    if (!data || pairs < FCode->Pairs) {
        data.reset(pcre2_match_data_create(FCode->Pairs, nullptr));
        pairs = data ? FCode->Pairs : 0;
        if (!data)
            throw std::bad_alloc();
    }
    int result = pcre2_match(FCode->Code, Units(Input), Input.size(), Start, Options, data.get(), nullptr);
    // Machine code has a small stack of its own; what it cannot finish there
    // the interpreter does, so that the answer never depends on it.
    if (result == PCRE2_ERROR_JIT_STACKLIMIT)
        result = pcre2_match(FCode->Code, Units(Input), Input.size(), Start, Options | PCRE2_NO_JIT, data.get(),
                             nullptr);
    if (result == PCRE2_ERROR_NOMATCH)
        return false;
    if (result < 0)
        throw EDDKError(ErrorText(result));
    // result is one more than the highest group that took part.
    const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(data.get());
    Match.FSubject = Input;
    Match.FLastGroup = result - 1;
    Match.FGroups.assign(static_cast<std::size_t>(result), {TDDKMatch::Unset, TDDKMatch::Unset});
    for (int i = 0; i < result; ++i)
        if (vector[2 * i] != PCRE2_UNSET)
            Match.FGroups[i] = {vector[2 * i], vector[2 * i + 1]};
    return true;
}

bool TDDKRegExpr::Exec(std::string_view Input, TDDKMatch& Match, std::size_t Start) const
{
    return Search(Input, Start, 0, Match);
}

bool TDDKRegExpr::ExecNext(std::string_view Input, TDDKMatch& Match) const
{
    std::size_t start = Match.End();
    if (Match.Length(0) > 0)
        return Search(Input, start, 0, Match);
    // After an empty match, first look for a non-empty one at the same place,
    // then step over one whole character so the loop moves on.
    if (start >= Input.size())
        return false;
    if (Search(Input, start, PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED, Match))
        return true;
    DDKNextChar(Input, start);
    return Search(Input, start, 0, Match);
}

std::string TDDKRegExpr::ReplaceAll(std::string_view Input,
                                    const std::function<std::string(const TDDKMatch&)>& Replacement) const
{
    std::string result;
    std::size_t copied = 0;
    TDDKMatch match;
    for (bool found = Exec(Input, match); found; found = ExecNext(Input, match)) {
        if (match.Position(0) < copied)
            continue; // a match reaching back (\K) over text already replaced
        result.append(Input.substr(copied, match.Position(0) - copied));
        result += Replacement(match);
        copied = match.Position(0) + match.Length(0);
    }
    result.append(Input.substr(copied));
    return result;
}

// --- Shortcuts -------------------------------------------------------------------

std::string DDKSubExpr(std::string_view Input, std::string_view Pattern, std::int32_t Index,
                       bool CaseSensitive, bool ModG, bool ModM, bool ModS, std::string_view Default)
{
    return DDKTagged("DDKSubExpr: ", [&] {
        const TDDKRegExpr& expression = CompiledOnce(Pattern, CaseSensitive, ModG, ModM, ModS);
        TDDKMatch match;
        if (!expression.Exec(Input, match))
            return std::string(Default);
        const int highest = match.GroupCount();
        return match.Group(highest != 0 && Index >= 0 && Index <= highest ? Index : 0);
    });
}

bool DDKMatchWhole(std::string_view Input, std::string_view Pattern, bool CaseSensitive, bool ModG)
{
    return DDKSubExpr(Input, Pattern, 0, CaseSensitive, ModG, false, true, "").size() == Input.size();
}
