// The library's playlists are the program's memory of which movie file
// belongs to which movie folder. A full synchronisation reads them all, checks
// them against the disc, and then looks files and codes up in them.
//
// The look-ups answer exactly as a scan of the link list and of the library
// listing would (the first link of the very name, else the first one whose
// name differs only in ASCII case; exactly one folder for a code), but from
// indexes built once, so that a synchronisation costs time in proportion to
// the number of movies.
#include "UnitThread.h"

#include "DDKError.h"
#include "DDKFiles.h"
#include "DDKFindFile.h"
#include "DDKStrings.h"
#include "DDKSystem.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <utility>
#include <sys/stat.h>

namespace {

std::string FolderOf(const std::string& FileName)
{
    return DDKExcludeTrailingPathDelimiter(DDKExtractFilePath(FileName));
}

bool IsFolder(const std::string& Path)
{
    std::error_code error;
    return std::filesystem::is_directory(Path, error);
}

// The library folder's last change and its link count, or -1 when it cannot
// be read. Creating, removing or renaming a movie folder changes the time;
// where the clock ticks coarsely, the link count (one per subfolder on most
// file systems) still tells that a folder came or went.
TFolderStamp ChangeStamp(const std::string& Folder)
{
    struct stat info;
    if (stat(Folder.c_str(), &info) != 0)
        return {-1, 0};
    return {static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
            static_cast<std::uint64_t>(info.st_nlink)};
}

// What follows the last "#" of a folder name: the code a mask "*#<code>"
// selects the folder by; empty when the name has no "#".
std::string CodeOfFolderName(const std::string& Name)
{
    const std::size_t hash = Name.find_last_of('#');
    return hash == std::string::npos ? std::string() : Name.substr(hash + 1);
}

// The code a movie folder's name ends with, or -1.
std::int32_t CodeOfFolder(const std::string& Folder)
{
    return DDKStrToIntDef(CodeOfFolderName(DDKExtractFileName(Folder)), -1);
}

// F moved to the movie folder's volume: its own mount prefix replaced by the
// mount point the movie folder lies on. Empty when F is no absolute path.
std::string OnVolume(const std::string& F, const std::string& RootMount,
                     const std::vector<std::string>& Table)
{
    if (F.empty() || F.front() != '/')
        return {};
    const std::string prefix = MountPrefix(F, Table, RootMount);
    const std::string rest = prefix == "/" ? F : F.substr(prefix.size());
    return (RootMount == "/" ? std::string() : RootMount) + rest;
}

} // namespace

void TSynchThread::ScanAsxFiles()
{
    if (!IsFolder(FLibraryDir))
        return;

    // Only what lies in the library itself: a linked folder or playlist
    // leads to the user's own files, which are neither trusted nor written.
    // The same walk finds the copies of saves cut short by a stopped run.
    TDDKFindFile finder;
    finder.Path = FLibraryDir;
    finder.Recursive = true;
    finder.FollowLinks = false;
    finder.Masks = "*.asx;.vantry-*.tmp";
    finder.Execute();
    TDDKStringList playlists = std::move(finder.Files);
    for (int i = playlists.Count() - 1; i >= 0; --i)
        if (DDKRemoveStaleTemporaryFile(playlists[i]) || !DDKEndsText(".asx", playlists[i]))
            playlists.Delete(i);

    const int count = playlists.Count();
    SetProgressMax(count);
    TDDKStringList entries;
    for (int i = 0; i < count; ++i) {
        if (Terminated())
            break;
        const std::string& asxFile = playlists[i];
        entries.Clear();
        FMetadata->ReadAsxEntries(asxFile, entries);
        for (const TDDKStringItem& entry : entries)
            AddLink(entry.String, asxFile);
        SetProgress(i + 1);
    }
}

void TSynchThread::CheckLinks()
{
    const std::vector<std::string> table = ReadMountTable();
    const std::string rootMount = MountPrefix(FRootDir, table);

    // The links that stay, in their order; a dropped link lets the next one
    // move up, as deleting it in place would. The lists change and folders go
    // only once all links are checked, so an error leaves everything as it
    // was, and a folder goes only when none of its files is merely out of
    // reach for the moment.
    // Most runs keep every link as it is: the lists and their index are then
    // left alone rather than made again.
    std::vector<int> kept;
    kept.reserve(static_cast<std::size_t>(FLinkedFiles.Count()));
    std::vector<std::pair<int, std::string>> moved; // link, its file's new name
    std::set<std::string> goneFolders, heldFolders;
    for (int i = 0; i < FLinkedFiles.Count(); ++i) {
        const std::string& linked = FLinkedFiles[i];
        const std::string& asxFile = FLinkAsx[i];
        const auto folder = [&asxFile] { return FolderOf(asxFile); };
        std::string current; // the file's name when it is no longer linked
        int error = 0;
        TDDKFileState state = DDKFileState(linked, error);
        if (state == TDDKFileState::Gone) {
            // Renamed by a run stopped before its playlist followed: the
            // file carries the name we give it, and the rename is journalled
            // now in case that run could not, before the playlist forgets
            // the old name.
            const std::string renamed = RenamedLinkTarget(linked, folder());
            int ignored = 0;
            if (!renamed.empty() && DDKFileState(renamed, ignored) == TDDKFileState::Present) {
                JournalRename(linked, CodeOfFolder(folder()), renamed);
                FMetadata->RenameAsxEntry(asxFile, linked, renamed);
                current = renamed;
                state = TDDKFileState::Present;
            }
        }
        if (state == TDDKFileState::Gone) {
            const std::string onVolume = OnVolume(linked, rootMount, table);
            if (!onVolume.empty() && onVolume != linked) {
                state = DDKFileState(onVolume, error);
                if (state == TDDKFileState::Present) {
                    FMetadata->RenameAsxEntry(asxFile, linked, onVolume);
                    current = onVolume;
                }
            }
        }
        if (state == TDDKFileState::Gone) {
            goneFolders.insert(folder());
            continue;
        }
        if (state == TDDKFileState::Unknown) {
            heldFolders.insert(folder());
            Log(DDKFormat("\"%s\" /ERROR #%d > [TSynchThread.CheckLinks] Fichier inaccessible pour le moment "
                          "(%s) : son dossier \"%s\" reste dans la bibliothèque",
                          linked.c_str(), CodeOfFolder(folder()), DDKSysErrorMessage(error).c_str(),
                          folder().c_str()));
        }
        kept.push_back(i);
        if (!current.empty())
            moved.emplace_back(i, std::move(current));
    }
    if (kept.size() != static_cast<std::size_t>(FLinkedFiles.Count()) || !moved.empty()) {
        TDDKStringList keptFiles;
        TDDKStringList keptAsx;
        auto next = moved.begin();
        for (const int i : kept) {
            if (next != moved.end() && next->first == i)
                keptFiles.Add(std::move((next++)->second));
            else
                keptFiles.Add(FLinkedFiles[i]);
            keptAsx.Add(FLinkAsx[i]);
        }
        FLinkedFiles = std::move(keptFiles);
        FLinkAsx = std::move(keptAsx);
        IndexLinks();
    }

    // The movie is gone: so is its movie folder, but never anything that is
    // not recognisably one of ours.
    for (const std::string& folder : goneFolders)
        if (!heldFolders.contains(folder) && IsMovieFolder(folder))
            DeleteFolder(folder);
}

std::string TSynchThread::RenamedLinkTarget(const std::string& Linked, const std::string& Folder)
{
    if (!IsMovieFolder(Folder))
        return {};
    // Outside the guard below: a folder that cannot be read tells neither
    // that its file was renamed nor that it is gone, so its error goes on
    // and the run stops before anything is taken for gone.
    const std::string answer = DDKGetRealFileName(Folder, "allocine.*");
    TMovieInfo record;
    try {
        FMetadata->ReadFicheAcFile(answer, record);
    } catch (const std::exception&) {
        return {}; // an answer that cannot be read names nothing
    }
    record.SetFileName(Linked);
    return RenamedPath(record);
}

bool TSynchThread::IsMovieFolder(const std::string& Folder) const
{
    if (FolderOf(Folder) != DDKExcludeTrailingPathDelimiter(FLibraryDir))
        return false;
    const std::string name = DDKExtractFileName(Folder);
    const std::string code = CodeOfFolderName(name);
    if (code.empty() || code.find_first_not_of("0123456789") != std::string::npos)
        return false;
    std::error_code error;
    return std::filesystem::symlink_status(Folder, error).type() == std::filesystem::file_type::directory &&
           !DDKGetRealFileName(Folder, "allocine.*").empty();
}

void TSynchThread::AddLink(const std::string& FileName, const std::string& AsxFile)
{
    FLinkedFiles.Add(FileName);
    FLinkAsx.Add(AsxFile);
    IndexLink(FLinkedFiles.Count() - 1);
    if (FFolderIndexValid) // otherwise the next listing finds the folder
        RememberMovieFolder(FolderOf(AsxFile));
}

void TSynchThread::IndexLinks()
{
    FLinkIndex.Clear();
    for (int i = 0; i < FLinkedFiles.Count(); ++i)
        IndexLink(i);
}

std::uint64_t TSynchThread::LinkKey(std::string_view FileName)
{
    // FNV-1a over the name with A-Z lowered, so that names the look-up
    // takes for one share their key.
    std::uint64_t key = 14695981039346656037ull;
    for (const char c : FileName) {
        key ^= static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        key *= 1099511628211ull;
    }
    return key;
}

void TSynchThread::IndexLink(int Index)
{
    // Only the first link of a name counts. Names that differ only in case
    // share their key and each go in: "Alpha.avi" and "alpha.avi" are two
    // files here.
    const std::string& fileName = FLinkedFiles[Index];
    const std::uint64_t key = LinkKey(fileName);
    FLinkIndex.MakeRoom([](const TLinkSlot& Slot) { return Slot.Key; });
    TLinkSlot& slot = *FLinkIndex.Find(
        key, [&](const TLinkSlot& Slot) { return Slot.Key == key && FLinkedFiles[Slot.Index] == fileName; });
    if (slot.Free()) {
        slot = {key, Index};
        FLinkIndex.Filled();
    }
}

int TSynchThread::FirstLink(std::string_view FileName) const
{
    // The name's own link when it has one; else, for a file renamed in case
    // only, the first link in reading order of a name that differs in case.
    const std::uint64_t key = LinkKey(FileName);
    int otherCase = -1;
    const TLinkSlot* slot = FLinkIndex.Find(key, [&](const TLinkSlot& Slot) {
        if (Slot.Key != key)
            return false;
        const std::string& linked = FLinkedFiles[Slot.Index];
        if (linked == FileName)
            return true;
        if ((otherCase < 0 || Slot.Index < otherCase) && DDKSameText(linked, FileName))
            otherCase = Slot.Index;
        return false;
    });
    return slot == nullptr || slot->Free() ? otherCase : slot->Index;
}

bool TSynchThread::GoodFileName(const std::string& FileName, TMovieInfo& Movie)
{
    return DDKTagged("[TSynchThread.GoodFileName] ", [&] {
        const int link = FirstLink(FileName);
        if (link < 0)
            return false;
        std::string folder = FolderOf(FLinkAsx[link]);
        const std::string cache = CachedAnswer(folder);
        if (cache.empty())
            return false;
        FMetadata->ReadFicheAcFile(cache, Movie);
        Movie.MovieDir = std::move(folder); // the folder of the cached answer
        return true;
    });
}

void TSynchThread::RefreshFolderIndex()
{
    const TFolderStamp stamp = ChangeStamp(FLibraryDir);
    if (FFolderIndexValid && stamp == FFolderIndexStamp)
        return;

    // Every folder a mask "*#<code>" could select, read in one walk; a link
    // to a folder elsewhere is none of ours.
    TDDKFindFile finder;
    finder.Path = FLibraryDir;
    finder.Recursive = false;
    finder.FollowLinks = false;
    finder.Attributes = TDDKFileAttributes{TDDKFileAttribute::Directory};
    finder.Masks = "*#*";
    finder.Execute();

    FFolderIndex.clear();
    for (const TDDKStringItem& folder : finder.Files)
        FFolderIndex[CodeOfFolderName(DDKExtractFileName(folder.String))].push_back(folder.String);
    FFolderIndexStamp = stamp;
    FFolderIndexValid = true;
}

void TSynchThread::RememberMovieFolder(const std::string& Folder)
{
    // Only a folder this worker has just put into a library it already
    // listed; anything else is found by the next listing.
    if (!FFolderIndexValid || FolderOf(Folder) != DDKExcludeTrailingPathDelimiter(FLibraryDir))
        return;
    const std::string name = DDKExtractFileName(Folder);
    if (name.empty() || name.front() == '.' || name.find('#') == std::string::npos || !IsFolder(Folder))
        return;
    std::vector<std::string>& folders = FFolderIndex[CodeOfFolderName(name)];
    for (const std::string& known : folders)
        if (DDKLocaleCompareText(known, Folder) == 0)
            return;
    // Our own new folder adds one link at most; anything more or less means
    // someone else changed the library since it was listed.
    const TFolderStamp stamp = ChangeStamp(FLibraryDir);
    if (stamp.Links > FFolderIndexStamp.Links + 1 || stamp.Links < FFolderIndexStamp.Links) {
        FFolderIndexValid = false;
        return;
    }
    folders.push_back(Folder);
    FFolderIndexStamp = stamp;
}

std::string TSynchThread::FindMovieFolder(std::int32_t Code)
{
    RefreshFolderIndex();
    const auto found = FFolderIndex.find(std::to_string(Code));
    if (found == FFolderIndex.end() || found->second.size() != 1)
        return {};
    return found->second.front();
}
