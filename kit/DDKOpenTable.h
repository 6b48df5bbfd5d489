// A table of many small slots found by a 64-bit hash, for the run-long
// look-ups of a synchronisation (folders entered, playlists read, links by
// file name): neither a node nor an allocation per entry, where a library
// of tens of thousands of movies makes as many entries.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// The hash of a file's identity (device and inode).
inline std::uint64_t DDKIdentityHash(std::uint64_t Device, std::uint64_t Inode)
{
    return Inode * 0x9E3779B97F4A7C15ull ^ Device;
}

// Open addressing, probed in turn from the hash, at most half full so that a
// look-up soon meets a free slot. TSlot tells a free slot by Free(), and a
// slot made by its default constructor is one.
template <class TSlot> class TDDKOpenTable
{
public:
    std::size_t Count() const { return FCount; }

    // The slot for Hash that Holds accepts, or else the free slot where it
    // would go; null while the table has no slot at all.
    template <class THolds> TSlot* Find(std::uint64_t Hash, THolds&& Holds)
    {
        return FSlots.empty() ? nullptr : &FSlots[Place(Hash, Holds)];
    }
    template <class THolds> const TSlot* Find(std::uint64_t Hash, THolds&& Holds) const
    {
        return FSlots.empty() ? nullptr : &FSlots[Place(Hash, Holds)];
    }

    // Room for one more slot: when half full, the slots double and each is
    // placed again by HashOf(slot). Call it before Find for a slot to fill,
    // then Filled once that slot holds its entry.
    template <class THashOf> void MakeRoom(THashOf&& HashOf)
    {
        if ((FCount + 1) * 2 <= FSlots.size())
            return;
        std::vector<TSlot> former =
            std::exchange(FSlots, std::vector<TSlot>(std::max<std::size_t>(64, 2 * FSlots.size())));
        for (TSlot& slot : former)
            if (!slot.Free())
                FSlots[Place(HashOf(std::as_const(slot)), [](const TSlot&) { return false; })] =
                    std::move(slot);
    }
    void Filled() { ++FCount; }

    // Empties the table and gives its room back.
    void Clear()
    {
        std::vector<TSlot>().swap(FSlots);
        FCount = 0;
    }

private:
    // The index of the first slot from Hash's that is free or that Holds
    // accepts; the table has slots.
    template <class THolds> std::size_t Place(std::uint64_t Hash, const THolds& Holds) const
    {
        const std::size_t mask = FSlots.size() - 1;
        for (std::size_t at = static_cast<std::size_t>(Hash ^ (Hash >> 29)) & mask;; at = (at + 1) & mask)
            if (FSlots[at].Free() || Holds(FSlots[at]))
                return at;
    }

    std::vector<TSlot> FSlots;
    std::size_t FCount = 0;
};
