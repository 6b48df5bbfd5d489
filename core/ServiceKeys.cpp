#include "ServiceKeys.h"

#include "DDKStrings.h"
#include "ServiceSettings.h"

#include <algorithm>
#include <vector>

namespace {

char LowerAscii(char Character)
{
    return Character >= 'A' && Character <= 'Z' ? static_cast<char>(Character - 'A' + 'a') : Character;
}

int HexDigit(char Character)
{
    if (Character >= '0' && Character <= '9')
        return Character - '0';
    if (Character >= 'a' && Character <= 'f')
        return Character - 'a' + 10;
    if (Character >= 'A' && Character <= 'F')
        return Character - 'A' + 10;
    return -1;
}

TKeyMask& ServiceKeyMask()
{
    static TKeyMask Mask({AllocinePartner, AllocineSecret, TmdbApiKey});
    return Mask;
}

} // namespace

std::size_t TKeyMask::THash::operator()(std::string_view Value) const
{
    return std::hash<std::string_view>()(Value);
}

TKeyMask::TKeyMask(std::initializer_list<std::string_view> Keys, std::size_t RecentLimit)
    : FRecentLimit(RecentLimit)
{
    for (const std::string_view Key : Keys)
        Add(DDKLowerCase(Key));
}

bool TKeyMask::Add(const std::string& Value)
{
    if (Value.size() < ShortestHidden)
        return false;
    TSameLength& Same = FByLength[Value.size()];
    if (!Same.Values.insert(Value).second)
        return false;
    Same.First.set(static_cast<unsigned char>(Value.front()));
    Same.Last.set(static_cast<unsigned char>(Value.back()));
    return true;
}

void TKeyMask::AddRecent(std::string_view Value)
{
    std::lock_guard<std::mutex> Guard(FLock);
    std::string Lower = DDKLowerCase(Value);
    if (!Add(Lower))
        return;
    FRecent.push_back(std::move(Lower));
    if (FRecent.size() > FRecentLimit) {
        // The first and last bytes it marked stay marked: that only costs a look.
        FByLength[FRecent.front().size()].Values.erase(FRecent.front());
        FRecent.pop_front();
    }
}

std::string TKeyMask::Hide(std::string_view Text) const
{
    std::lock_guard<std::mutex> Guard(FLock);
    if (FByLength.empty())
        return std::string(Text);

    // The text as the values are compared with it: each "%XX" taken as the
    // byte it stands for, letters in lower case. Byte i of it comes from
    // Text[Start[i]] up to Text[Start[i + 1]].
    std::string Folded;
    std::vector<std::size_t> Start;
    Folded.reserve(Text.size());
    Start.reserve(Text.size() + 1);
    for (std::size_t At = 0; At < Text.size();) {
        Start.push_back(At);
        int High, Low;
        if (Text[At] == '%' && At + 2 < Text.size() && (High = HexDigit(Text[At + 1])) >= 0 &&
            (Low = HexDigit(Text[At + 2])) >= 0) {
            Folded += LowerAscii(static_cast<char>(High * 16 + Low));
            At += 3;
        } else {
            Folded += LowerAscii(Text[At]);
            ++At;
        }
    }
    Start.push_back(Text.size());

    // Each place is tried with every length a value has, shortest first; the
    // spans found come in the order of their starts, and overlapping ones
    // make one.
    std::string Result;
    Result.reserve(Text.size());
    std::size_t Copied = 0, SpanFrom = 0, SpanTo = 0;
    bool InSpan = false;
    const auto CloseSpan = [&] {
        Result.append(Text.substr(Copied, SpanFrom - Copied));
        Result += "…";
        Copied = SpanTo;
    };
    for (std::size_t At = 0; At < Folded.size(); ++At)
        for (const auto& [Length, Same] : FByLength) {
            if (Length > Folded.size() - At)
                break;
            if (!Same.First[static_cast<unsigned char>(Folded[At])] ||
                !Same.Last[static_cast<unsigned char>(Folded[At + Length - 1])] ||
                !Same.Values.contains(std::string_view(Folded).substr(At, Length)))
                continue;
            const std::size_t From = Start[At], To = Start[At + Length];
            if (InSpan && From < SpanTo) {
                SpanTo = std::max(SpanTo, To);
                continue;
            }
            if (InSpan)
                CloseSpan();
            InSpan = true;
            SpanFrom = From;
            SpanTo = To;
        }
    if (!InSpan)
        return std::string(Text);
    CloseSpan();
    Result.append(Text.substr(Copied));
    return Result;
}

std::string HideServiceKeys(std::string_view Text)
{
    return ServiceKeyMask().Hide(Text);
}

void RememberSignature(std::string_view Signature)
{
    ServiceKeyMask().AddRecent(Signature);
}
