// The kit's string list: strings in order, each with one integer beside it
// (the name lists keep a person's or genre's service code there).
//
// Look-ups and sorting compare without regard to case under the user's locale
// (LC_COLLATE and LC_CTYPE), as the desktop's own sorted lists do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// <0, 0 or >0 as A sorts before, with or after B, case ignored, under the
// user's locale. Bytes that are not UTF-8 compare by their value.
int DDKLocaleCompareText(std::string_view A, std::string_view B);

struct TDDKStringItem
{
    std::string String;
    std::int64_t Object = 0;
};

class TDDKStringList
{
public:
    enum class TDuplicates { Accept, Ignore };

    int Count() const { return static_cast<int>(FItems.size()); }
    bool Empty() const { return FItems.empty(); }

    const std::string& operator[](int Index) const { return FItems.at(Index).String; }
    std::int64_t Objects(int Index) const { return FItems.at(Index).Object; }
    // The strings alone, in order.
    std::vector<std::string> Strings() const;

    // Appends S (or, in a sorted list, inserts it at its place). Returns its
    // index, or -1 when a sorted list that ignores duplicates already holds it.
    int Add(std::string S) { return AddObject(std::move(S), 0); }
    int AddObject(std::string S, std::int64_t Object);
    void Insert(int Index, std::string S, std::int64_t Object = 0);
    void Delete(int Index);
    void Clear() { FItems.clear(); }

    // Index of the first string equal to S under the list's comparison, or -1.
    int IndexOf(std::string_view S) const;

    // A sorted list keeps its strings in order and places every new one;
    // turning sorting on sorts the list (and drops duplicates when ignored).
    bool Sorted() const { return FSorted; }
    void SetSorted(bool Value);
    TDuplicates Duplicates() const { return FDuplicates; }
    void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }

    std::vector<TDDKStringItem>::const_iterator begin() const { return FItems.begin(); }
    std::vector<TDDKStringItem>::const_iterator end() const { return FItems.end(); }

private:
    void Sort();
    // Where S belongs in a sorted list; Found tells whether an equal one is there.
    int FindSorted(std::string_view S, bool& Found) const;

    std::vector<TDDKStringItem> FItems;
    bool FSorted = false;
    TDuplicates FDuplicates = TDuplicates::Accept;
};
