// Folder walker: lists the entries of one folder, or of a whole tree, whose
// names match one of a list of wildcard masks and none of the exclude masks,
// as full paths sorted without regard to case under the user's locale. Only
// folders and plain files count: pipes, sockets, devices and links that lead
// nowhere are no files to work on.
#pragma once

#include "DDKFiles.h"
#include "DDKOpenTable.h"
#include "DDKStringList.h"
#include "DDKStrings.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

enum class TDDKFileAttribute : std::uint8_t { ReadOnly, Hidden, SysFile, VolumeId, Directory, Archive };

// A set of the six attribute flags; each flag weighs 1 << its position.
class TDDKFileAttributes
{
public:
    constexpr TDDKFileAttributes() = default;
    constexpr TDDKFileAttributes(std::initializer_list<TDDKFileAttribute> Flags)
    {
        for (TDDKFileAttribute flag : Flags)
            FBits |= Weight(flag);
    }
    constexpr bool Contains(TDDKFileAttribute Flag) const { return (FBits & Weight(Flag)) != 0; }
    constexpr void Include(TDDKFileAttribute Flag) { FBits |= Weight(Flag); }
    constexpr void Exclude(TDDKFileAttribute Flag) { FBits &= static_cast<std::uint8_t>(~Weight(Flag)); }
    constexpr std::uint8_t Bits() const { return FBits; }
    constexpr bool operator==(const TDDKFileAttributes&) const = default;

    static constexpr std::uint8_t Weight(TDDKFileAttribute Flag)
    {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(Flag));
    }

private:
    std::uint8_t FBits = 0;
};

class TDDKFindFile
{
public:
    using TNotifyEvent = std::function<void(TDDKFindFile* Sender)>;
    using TDirectoryEvent = std::function<void(TDDKFindFile* Sender, const std::string& Dir, bool& Skip)>;

    TDDKFindFile();
    virtual ~TDDKFindFile();
    TDDKFindFile(const TDDKFindFile&) = delete;
    TDDKFindFile& operator=(const TDDKFindFile&) = delete;

    // Runs one search into Files. A folder of the search that cannot be read
    // to its end raises (DDKListFolder names it): Files then holds part of
    // the search only, and a caller that went on would take what is missing
    // for gone.
    void Execute();
    // Adds the matching entries of the folder Dir to Files.
    void SearchDir(std::string Dir);
    // Searches Path and every folder below it, level by level, listing each
    // folder once; a folder reached again through a link is not searched again.
    void SearchTree(const std::string& Path);
    // Appends to List the full paths of Dir's subfolders that are not excluded.
    void AddSubDirs(TDDKStringList& List, std::string Dir);
    // False when Name matches one of the exclude masks.
    bool NotExcluded(std::string_view Name) const;

    TDDKFileAttributes Attributes{TDDKFileAttribute::ReadOnly, TDDKFileAttribute::Hidden,
                                  TDDKFileAttribute::SysFile, TDDKFileAttribute::Archive};
    // Whether symbolic links count: false leaves out every link, to a file
    // or to a folder, so that the walk stays inside the tree itself.
    bool FollowLinks = true;
    std::int32_t FAttr = 0;
    std::string Path;
    bool Recursive = false;
    std::string Masks = "*.*";
    TDDKStringList FMaskList;
    std::string ExcludeMasks;
    TDDKStringList FExcludeList;
    TDDKStringList Files;
    TNotifyEvent OnBegin;
    TNotifyEvent OnEnd;
    TDirectoryEvent OnDirectory;
    bool FDirectoriesOnly = false;

private:
    // Fires OnDirectory for Dir; true when the handler asks to skip it.
    bool SkipDirectory(const std::string& Dir);
    // Adds to Files the full paths of those Entries of Dir that the
    // attributes, the exclude masks and the masks admit.
    void AddMatches(const std::string& Dir, const TDDKFolderListing& Entries);
    // Notes that the walk enters the folder Identity; false when it had.
    bool Enter(const TDDKFolderIdentity& Identity);
    // Appends to Queue the full paths of the subfolders among Entries of Dir
    // that the walk enters.
    void QueueSubDirs(std::vector<std::string>& Queue, const std::string& Dir,
                      const TDDKFolderListing& Entries) const;

    // Folders already entered by the current walk, so that a loop of
    // symbolic links ends; an all-zero identity is a free slot.
    struct TVisitedSlot
    {
        TDDKFolderIdentity Identity;
        bool Free() const { return Identity == TDDKFolderIdentity{}; }
    };
    TDDKOpenTable<TVisitedSlot> FVisited;
    // FMaskList and FExcludeList, read for matching.
    std::vector<TDDKWildcard> FMasks;
    std::vector<TDDKWildcard> FExcludes;
};
