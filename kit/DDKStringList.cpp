#include "DDKStringList.h"

#include "DDKStrings.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <stdexcept>

namespace {

// Decodes UTF-8 into wide characters, lower-cased under the locale. A byte
// that does not start a valid sequence stays out of the way of real characters
// (DDKNextChar), so that it never equals one.
std::wstring FoldedWide(std::string_view Text)
{
    std::wstring result;
    result.reserve(Text.size());
    for (std::size_t position = 0; position < Text.size();) {
        const char32_t code = DDKNextChar(Text, position);
        result.push_back(static_cast<wchar_t>(
            code >= DDKInvalidByteBase ? code : std::towlower(static_cast<wint_t>(code))));
    }
    return result;
}

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
    // comparison. Its folded form parts only equal keys, which is rare, so it
    // is made again then rather than kept for a whole long list.
    struct Keyed
    {
        std::wstring Key;
        TDDKStringItem Item;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(FItems.size());
    for (auto& item : FItems) {
        const std::wstring folded = FoldedWide(item.String);
        std::wstring key(std::wcsxfrm(nullptr, folded.c_str(), 0) + 1, L'\0');
        key.resize(std::wcsxfrm(key.data(), folded.c_str(), key.size()));
        keyed.push_back({std::move(key), std::move(item)});
    }
    FItems.clear();
    auto less = [](const Keyed& a, const Keyed& b) {
        const int order = a.Key.compare(b.Key);
        return order != 0 ? order < 0 : FoldedWide(a.Item.String) < FoldedWide(b.Item.String);
    };
    std::stable_sort(keyed.begin(), keyed.end(), less);
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        // The item before may be gone already; the last one kept folds alike.
        if (FDuplicates == TDuplicates::Ignore && i > 0 && keyed[i].Key == keyed[i - 1].Key &&
            FoldedWide(keyed[i].Item.String) == FoldedWide(FItems.back().String))
            continue;
        FItems.push_back(std::move(keyed[i].Item));
    }
}
