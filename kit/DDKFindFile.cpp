#include "DDKFindFile.h"

#include "DDKFiles.h"
#include "DDKStrings.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace {

// "*.avi;*.mkv" gives *.avi and *.mkv: double quotes go, the text is cut at
// every ';' and ',', and each piece is kept exactly (blanks and empty pieces
// included).
void BuildMaskList(TDDKStringList& List, const std::string& Text)
{
    List.Clear();
    const std::string unquoted = DDKReplaceAll(Text, "\"", "");
    std::size_t start = 0;
    for (;;) {
        const std::size_t separator = unquoted.find_first_of(";,", start);
        List.Add(unquoted.substr(start, separator - start));
        if (separator == std::string::npos)
            break;
        start = separator + 1;
    }
}

std::vector<TDDKWildcard> ReadMasks(const TDDKStringList& List)
{
    std::vector<TDDKWildcard> masks;
    masks.reserve(static_cast<std::size_t>(List.Count()));
    for (const TDDKStringItem& mask : List)
        masks.emplace_back(mask.String);
    return masks;
}

// Dir + Name + Tail in one allocation: the walk makes one for every folder
// and every file it keeps.
std::string JoinPath(std::string_view Dir, std::string_view Name, std::string_view Tail = {})
{
    std::string path;
    path.reserve(Dir.size() + Name.size() + Tail.size());
    path.append(Dir).append(Name).append(Tail);
    return path;
}

bool MatchesAny(const std::vector<TDDKWildcard>& Masks, std::string_view Name)
{
    for (const TDDKWildcard& mask : Masks)
        if (mask.Matches(Name))
            return true;
    return false;
}

} // namespace

TDDKFindFile::TDDKFindFile() = default;

TDDKFindFile::~TDDKFindFile() = default;

void TDDKFindFile::Execute()
{
    FAttr = Attributes.Bits();
    FDirectoriesOnly = FAttr == TDDKFileAttributes::Weight(TDDKFileAttribute::Directory);
    BuildMaskList(FMaskList, Masks);
    if (!DDKTrim(ExcludeMasks).empty())
        BuildMaskList(FExcludeList, ExcludeMasks);
    // Each mask read once for the whole walk.
    FMasks = ReadMasks(FMaskList);
    FExcludes = ReadMasks(FExcludeList);

    // Sorted as the user reads names, case ignored. Two names that differ only
    // in case are two files here, so neither is dropped: each one is a movie.
    // The paths are gathered first and sorted once: a stable sort leaves
    // equal names in the order they were found, as placing each at once would.
    Files.Clear();
    Files.SetSorted(false);
    if (OnBegin)
        OnBegin(this);
    try {
        if (!Path.empty()) {
            if (Recursive)
                SearchTree(Path);
            else
                SearchDir(Path);
        }
    } catch (...) {
        Files.SetSorted(true);
        Files.SetSorted(false);
        throw;
    }
    Files.SetSorted(true);
    if (OnEnd)
        OnEnd(this);
    Files.SetSorted(false);
}

bool TDDKFindFile::SkipDirectory(const std::string& Dir)
{
    bool skip = false;
    if (OnDirectory)
        OnDirectory(this, Dir, skip);
    return skip;
}

void TDDKFindFile::SearchDir(std::string Dir)
{
    Dir = DDKIncludeTrailingPathDelimiter(Dir);
    if (!SkipDirectory(Dir))
        AddMatches(Dir, DDKListFolder(Dir));
}

void TDDKFindFile::AddMatches(const std::string& Dir, const TDDKFolderListing& Entries)
{
    // Without hidden or system flags on this platform, the attribute word
    // decides only two things: whether folders are delivered, and whether
    // hidden entries (names starting with a dot) are.
    const auto admits = [this](TDDKFileAttribute Flag) {
        return (FAttr & TDDKFileAttributes::Weight(Flag)) != 0;
    };
    for (const TDDKFolderEntry& entry : Entries) {
        if ((!entry.IsDirectory && !entry.IsRegular) || (entry.IsSymLink && !FollowLinks))
            continue;
        if ((entry.IsHidden && !admits(TDDKFileAttribute::Hidden)) ||
            (entry.IsDirectory && !admits(TDDKFileAttribute::Directory)))
            continue;
        if (!NotExcluded(entry.Name) || (FDirectoriesOnly && !entry.IsDirectory))
            continue;
        if (MatchesAny(FMasks, entry.Name))
            Files.Add(JoinPath(Dir, entry.Name));
    }
}

void TDDKFindFile::SearchTree(const std::string& Path)
{
    FVisited.Clear();
    // A queue that only grows: the walk reads it from a moving head, so that
    // no folder waits for the ones before it to be shifted out.
    std::vector<std::string> queue;
    queue.push_back(DDKIncludeTrailingPathDelimiter(Path));
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const std::string dir = std::move(queue[head]);
        // One listing serves both the subfolders and the folder's own entries.
        TDDKFolderIdentity identity;
        const TDDKFolderListing entries = DDKListFolder(dir, &identity);
        if (identity != TDDKFolderIdentity{} && !Enter(identity))
            continue; // reached before through a link
        QueueSubDirs(queue, dir, entries);
        if (!SkipDirectory(dir))
            AddMatches(dir, entries);
    }
    // Kept no longer than the walk: the sort that follows needs the room.
    FVisited.Clear();
}

void TDDKFindFile::QueueSubDirs(std::vector<std::string>& Queue, const std::string& Dir,
                                const TDDKFolderListing& Entries) const
{
    for (const TDDKFolderEntry& entry : Entries)
        if (entry.IsDirectory && (FollowLinks || !entry.IsSymLink) && NotExcluded(entry.Name))
            Queue.push_back(JoinPath(Dir, entry.Name, "/"));
}

void TDDKFindFile::AddSubDirs(TDDKStringList& List, std::string Dir)
{
    Dir = DDKIncludeTrailingPathDelimiter(Dir);
    std::vector<std::string> subDirs;
    QueueSubDirs(subDirs, Dir, DDKListFolder(Dir));
    for (std::string& subDir : subDirs)
        List.Add(DDKExcludeTrailingPathDelimiter(subDir));
}

bool TDDKFindFile::NotExcluded(std::string_view Name) const
{
    return !MatchesAny(FExcludes, Name);
}

bool TDDKFindFile::Enter(const TDDKFolderIdentity& Identity)
{
    const auto hashOf = [](const TVisitedSlot& Slot) {
        return DDKIdentityHash(Slot.Identity.Device, Slot.Identity.Inode);
    };
    FVisited.MakeRoom(hashOf);
    TVisitedSlot& slot = *FVisited.Find(hashOf({Identity}),
                                        [&](const TVisitedSlot& Slot) { return Slot.Identity == Identity; });
    if (!slot.Free())
        return false;
    slot.Identity = Identity;
    FVisited.Filled();
    return true;
}
