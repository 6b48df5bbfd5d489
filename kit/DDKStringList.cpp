#include "DDKStringList.h"

#include "DDKStrings.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <map>
#include <memory>
#include <stdexcept>

namespace {

// Appends to Result the UTF-8 text decoded into wide characters, lower-cased
// under the locale. A byte that does not start a valid sequence stays out of
// the way of real characters (DDKNextChar), so that it never equals one.
void AppendFoldedWide(std::wstring& Result, std::string_view Text)
{
    for (std::size_t position = 0; position < Text.size();) {
        const char32_t code = DDKNextChar(Text, position);
        Result.push_back(static_cast<wchar_t>(
            code >= DDKInvalidByteBase ? code : std::towlower(static_cast<wint_t>(code))));
    }
}

std::wstring FoldedWide(std::string_view Text)
{
    std::wstring result;
    result.reserve(Text.size());
    AppendFoldedWide(result, Text);
    return result;
}

// Appends Value to Key in as few bytes as keep the order: a byte string
// compares as the values do, one by one and a shorter run first. One byte
// below 0x80, two up to 0x707F, three up to 0xF707F, five beyond. The lead
// byte tells the length and grows with it, and within one length the bytes
// are the value's own, high first, so that two values compare at their first
// differing byte just as they do.
void AppendWeight(std::string& Key, std::uint32_t Value)
{
    if (Value < 0x80) {
        Key.push_back(static_cast<char>(Value));
    } else if (Value < 0x80 + 0x70 * 0x100) {
        const std::uint32_t rest = Value - 0x80;
        Key.push_back(static_cast<char>(0x80 + (rest >> 8)));
        Key.push_back(static_cast<char>(rest & 0xFF));
    } else if (Value < 0x80 + 0x70 * 0x100 + 0x0F * 0x10000) {
        const std::uint32_t rest = Value - (0x80 + 0x70 * 0x100);
        Key.push_back(static_cast<char>(0xF0 + (rest >> 16)));
        Key.push_back(static_cast<char>((rest >> 8) & 0xFF));
        Key.push_back(static_cast<char>(rest & 0xFF));
    } else {
        Key.push_back(static_cast<char>(0xFF));
        for (int shift = 24; shift >= 0; shift -= 8)
            Key.push_back(static_cast<char>((Value >> shift) & 0xFF));
    }
}

// The rank of each collation weight among those a list uses: replacing each
// weight by its rank keeps the order of any two keys. Weights are positive
// (a wide key ends at its first 0); the usual ones are below 0x10000 and are
// found in a table, the others in a map.
class TWeightRanks
{
public:
    void Note(std::wstring_view Weights)
    {
        for (const wchar_t weight : Weights) {
            const auto value = static_cast<std::uint32_t>(weight);
            if (value < Small)
                FSmall[value] = 1;
            else
                FLarge.emplace(value, 0);
        }
    }
    // Numbers the weights noted, in their order.
    void Number()
    {
        std::uint32_t rank = 0;
        for (std::uint32_t& small : FSmall)
            small = small != 0 ? rank++ : 0;
        for (auto& large : FLarge)
            large.second = rank++;
    }
    std::uint32_t Of(wchar_t Weight) const
    {
        const auto value = static_cast<std::uint32_t>(Weight);
        return value < Small ? FSmall[value] : FLarge.at(value);
    }

private:
    static constexpr std::uint32_t Small = 0x10000;
    std::vector<std::uint32_t> FSmall = std::vector<std::uint32_t>(Small);
    std::map<std::uint32_t, std::uint32_t> FLarge;
};

// Collation keys laid end to end in large blocks, so that a long list costs
// neither one allocation nor one string header per key.
class TKeyArena
{
public:
    // Copies Key in and returns where it now lies, valid as long as the arena.
    std::string_view Store(std::string_view Key)
    {
        if (FBlocks.empty() || FUsed + Key.size() > FSize) {
            FSize = std::max(BlockSize, Key.size());
            FBlocks.push_back(std::make_unique_for_overwrite<char[]>(FSize));
            FUsed = 0;
        }
        char* place = FBlocks.back().get() + FUsed;
        std::copy(Key.begin(), Key.end(), place);
        FUsed += Key.size();
        return {place, Key.size()};
    }

private:
    static constexpr std::size_t BlockSize = 256 * 1024;
    std::vector<std::unique_ptr<char[]>> FBlocks;
    std::size_t FSize = 0;
    std::size_t FUsed = 0;
};

} // namespace

int DDKLocaleCompareText(std::string_view A, std::string_view B)
{
    const std::wstring left = FoldedWide(A);
    const std::wstring right = FoldedWide(B);
    const int order = std::wcscoll(left.c_str(), right.c_str());
    if (order != 0)
        return order;
    // Collation may call different texts equal (ignorable characters); only
    // texts that fold to the same characters are the same name.
    return left.compare(right) < 0 ? -1 : left == right ? 0 : 1;
}

std::vector<std::string> TDDKStringList::Strings() const
{
    std::vector<std::string> strings;
    strings.reserve(FItems.size());
    for (const TDDKStringItem& item : FItems)
        strings.push_back(item.String);
    return strings;
}

int TDDKStringList::FindSorted(std::string_view S, bool& Found) const
{
    int low = 0;
    int high = Count();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (DDKLocaleCompareText(FItems[middle].String, S) < 0)
            low = middle + 1;
        else
            high = middle;
    }
    Found = low < Count() && DDKLocaleCompareText(FItems[low].String, S) == 0;
    return low;
}

int TDDKStringList::AddObject(std::string S, std::int64_t Object)
{
    if (!FSorted) {
        FItems.push_back({std::move(S), Object});
        return Count() - 1;
    }
    bool found = false;
    int index = FindSorted(S, found);
    if (found && FDuplicates == TDuplicates::Ignore)
        return -1;
    while (found && index < Count() && DDKLocaleCompareText(FItems[index].String, S) == 0)
        ++index; // equal strings keep the order they came in
    FItems.insert(FItems.begin() + index, {std::move(S), Object});
    return index;
}

void TDDKStringList::Insert(int Index, std::string S, std::int64_t Object)
{
    if (FSorted)
        throw std::logic_error("TDDKStringList: cannot insert into a sorted list");
    if (Index < 0 || Index > Count())
        throw std::out_of_range("TDDKStringList: list index out of bounds (" + std::to_string(Index) + ")");
    FItems.insert(FItems.begin() + Index, {std::move(S), Object});
}

void TDDKStringList::Delete(int Index)
{
    if (Index < 0 || Index >= Count())
        throw std::out_of_range("TDDKStringList: list index out of bounds (" + std::to_string(Index) + ")");
    FItems.erase(FItems.begin() + Index);
}

int TDDKStringList::IndexOf(std::string_view S) const
{
    if (FSorted) {
        bool found = false;
        const int index = FindSorted(S, found);
        return found ? index : -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (DDKLocaleCompareText(FItems[i].String, S) == 0)
            return i;
    return -1;
}

void TDDKStringList::SetSorted(bool Value)
{
    if (Value && !FSorted)
        Sort();
    FSorted = Value;
}

void TDDKStringList::Sort()
{
    // Each string is folded and transformed once rather than at every
    // comparison, into a byte key that sorts exactly as the wide one: each
    // weight is replaced by its rank among the weights the list uses, which
    // keeps their order, and the rank is written in as few bytes as keep it
    // (see AppendWeight), most often one. Finding the weights in use takes a
    // first transformation of every string; it keeps the keys to a quarter of
    // the wide ones. The folded form parts only equal keys, which is rare, so
    // it is made again then rather than kept for a whole long list; the
    // position in the list parts equal strings, so that they keep their order.
    struct TKeyed
    {
        const char* Key;
        std::uint32_t Length;
        std::uint32_t Index;
        std::string_view View() const { return {Key, Length}; }
    };
    if (FItems.size() > UINT32_MAX)
        throw std::length_error("TDDKStringList: too many strings to sort");
    std::wstring folded, wide;
    const auto transform = [&folded, &wide](std::string_view Text) {
        folded.clear();
        AppendFoldedWide(folded, Text);
        // Transformed once when the buffer is large enough, as it soon is.
        std::size_t length = std::wcsxfrm(wide.data(), folded.c_str(), wide.size());
        if (length >= wide.size()) {
            wide.resize(length + 1);
            length = std::wcsxfrm(wide.data(), folded.c_str(), wide.size());
        }
        return std::wstring_view(wide.data(), length);
    };
    TWeightRanks ranks;
    for (const TDDKStringItem& item : FItems)
        ranks.Note(transform(item.String));
    ranks.Number();

    TKeyArena arena;
    std::vector<TKeyed> keyed;
    keyed.reserve(FItems.size());
    std::string key;
    for (std::size_t i = 0; i < FItems.size(); ++i) {
        key.clear();
        for (const wchar_t weight : transform(FItems[i].String))
            AppendWeight(key, ranks.Of(weight));
        const std::string_view stored = arena.Store(key);
        keyed.push_back({stored.data(), static_cast<std::uint32_t>(stored.size()), static_cast<std::uint32_t>(i)});
    }
    std::sort(keyed.begin(), keyed.end(), [this](const TKeyed& a, const TKeyed& b) {
        if (const int order = a.View().compare(b.View()); order != 0)
            return order < 0;
        const std::wstring left = FoldedWide(FItems[a.Index].String);
        const std::wstring right = FoldedWide(FItems[b.Index].String);
        return left != right ? left < right : a.Index < b.Index;
    });

    // The items move to their places in place, one cycle of the order at a
    // time, and duplicates go afterwards.
    std::vector<bool> placed(FItems.size());
    for (std::size_t start = 0; start < keyed.size(); ++start) {
        if (placed[start])
            continue;
        TDDKStringItem held = std::move(FItems[start]);
        std::size_t at = start;
        while (keyed[at].Index != start) {
            FItems[at] = std::move(FItems[keyed[at].Index]);
            placed[at] = true;
            at = keyed[at].Index;
        }
        FItems[at] = std::move(held);
        placed[at] = true;
    }
    if (FDuplicates == TDuplicates::Ignore) {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < FItems.size(); ++i) {
            // The last one kept folds alike when this one is a duplicate.
            if (kept > 0 && keyed[i].View() == keyed[i - 1].View() &&
                FoldedWide(FItems[i].String) == FoldedWide(FItems[kept - 1].String))
                continue;
            if (kept != i)
                FItems[kept] = std::move(FItems[i]);
            ++kept;
        }
        FItems.resize(kept);
    }
}
