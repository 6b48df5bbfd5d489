#include "DDKFindFile.h"

#include "DDKFiles.h"
#include "DDKStrings.h"

#include <sys/stat.h>

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

bool MatchesAny(const TDDKStringList& Masks, const std::string& Name)
{
    for (const TDDKStringItem& mask : Masks)
        if (DDKMatchWildcard(Name, mask.String))
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

    // Sorted as the user reads names, case ignored. Two names that differ only
    // in case are two files here, so neither is dropped: each one is a movie.
    Files.Clear();
    Files.SetSorted(true);
    if (OnBegin)
        OnBegin(this);
    if (!Path.empty()) {
        if (Recursive)
            SearchTree(Path);
        else
            SearchDir(Path);
    }
    if (OnEnd)
        OnEnd(this);
    Files.SetSorted(false);
}

void TDDKFindFile::SearchDir(std::string Dir)
{
    Dir = DDKIncludeTrailingPathDelimiter(Dir);
    bool skip = false;
    if (OnDirectory)
        OnDirectory(this, Dir, skip);
    if (skip)
        return;

    // Without hidden or system flags on this platform, the attribute word
    // decides only two things: whether folders are delivered, and whether
    // hidden entries (names starting with a dot) are.
    const auto admits = [this](TDDKFileAttribute Flag) {
        return (FAttr & TDDKFileAttributes::Weight(Flag)) != 0;
    };
    for (const TDDKFolderEntry& entry : DDKListFolder(Dir)) {
        if ((!entry.IsDirectory && !entry.IsRegular) || (entry.IsSymLink && !FollowLinks))
            continue;
        if ((entry.IsHidden && !admits(TDDKFileAttribute::Hidden)) ||
            (entry.IsDirectory && !admits(TDDKFileAttribute::Directory)))
            continue;
        if (!NotExcluded(entry.Name) || (FDirectoriesOnly && !entry.IsDirectory))
            continue;
        if (MatchesAny(FMaskList, entry.Name))
            Files.Add(Dir + entry.Name);
    }
}

void TDDKFindFile::SearchTree(const std::string& Path)
{
    FVisited.clear();
    TDDKStringList queue;
    queue.Add(DDKIncludeTrailingPathDelimiter(Path));
    struct stat status = {};
    if (::stat(queue[0].c_str(), &status) == 0)
        FVisited.emplace(status.st_dev, status.st_ino);
    while (!queue.Empty()) {
        const std::string dir = queue[0];
        AddSubDirs(queue, dir);
        SearchDir(dir);
        queue.Delete(0);
    }
}

void TDDKFindFile::AddSubDirs(TDDKStringList& List, std::string Dir)
{
    Dir = DDKIncludeTrailingPathDelimiter(Dir);
    for (const TDDKFolderEntry& entry : DDKListFolder(Dir))
        if (entry.IsDirectory && (FollowLinks || !entry.IsSymLink) && NotExcluded(entry.Name) &&
            FVisited.emplace(entry.Device, entry.Inode).second)
            List.Add(Dir + entry.Name);
}

bool TDDKFindFile::NotExcluded(const std::string& Name) const
{
    return !MatchesAny(FExcludeList, Name);
}
