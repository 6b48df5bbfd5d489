// The movie's library folder: its cached AlloCine answer, the link to its
// playlist, the renaming of the movie file, the media-centre files and the
// poster. Everything is put in place whole (atomic saves), so a program that
// is stopped half-way never leaves a truncated file that the next run trusts;
// and a rename is recorded in the playlist before it and journalled right
// after it, or undone when it cannot be, so that neither a stopped run nor a
// full disc costs the user a file's old name.
#include "DDKConversion.h"
#include "DDKError.h"
#include "DDKFiles.h"
#include "DDKStrings.h"
#include "DDKSystem.h"
#include "MovieFileName.h"
#include "Resources.h"
#include "ServiceUrls.h"
#include "UnitThread.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>
#include <system_error>

namespace {

// "Titre (Original) (mm-yyyy) (Réalisateur) (Genres) [CDn] #code.ext", before
// the characters a file name may not hold are removed.
std::string RenamedFileName(const TMovieInfo& Movie)
{
    std::string Name = Movie.Title;
    if (Movie.OriginalTitle != Movie.Title)
        Name += DDKFormat(" (%s)", Movie.OriginalTitle.c_str());
    const std::string Date =
        Movie.ReleaseDate > 0 ? DDKFormatDateTime("mm-yyyy", Movie.ReleaseDate) : Movie.ProductionYear;
    if (!Date.empty())
        Name += " (" + Date + ")";
    if (Movie.Directors.Count() > 0)
        Name += " (" + Movie.Directors[0] + ")";
    Name += " (" + DDKListToString(Movie.Genres, -1) + ")";
    if (Movie.CdNumber == 1)
        Name += " [CD1]";
    else if (Movie.CdNumber > 1)
        Name += " [CD2]";
    Name += DDKFormat(" #%d", Movie.Code) + DDKLowerCase(DDKExtractFileExt(Movie.FileName));
    return Name;
}

// The files of a movie folder that are ours, besides "allocine.*".
constexpr std::array<std::string_view, 10> MovieFolderFiles = {
    "tmdb.json",     "movie.asx",  "movie.nfo",    "movie.xml",  "movie.strm",
    "wmc.dvdid.xml", "folder.jpg", "backdrop.jpg", "fanart.jpg", "allocine.*"};

bool IsMovieFolderFile(std::string_view Name)
{
    return std::any_of(MovieFolderFiles.begin(), MovieFolderFiles.end(),
                       [&Name](std::string_view Ours) { return DDKMatchWildcard(Name, Ours); });
}

} // namespace

std::string TSynchThread::RenamedPath(const TMovieInfo& Movie)
{
    std::string Name = DDKClearPath(RenamedFileName(Movie), "", true);
    Name = VisibleName(DDKCollapseBlanks(DDKReplaceAll(Name, "&", "")));
    return DDKExtractFilePath(Movie.FileName) + Name;
}

void TSynchThread::CheckMovieFolder(const std::string& Dir)
{
    // The listing made to find the cached answer a moment ago, if any.
    if (Dir != FListedDir || FListedChecked)
        FListedEntries = DDKListFolder(Dir);
    FListedDir.clear(); // taken: whatever happens, the next check lists anew
    // A folder opened as itself is a real folder; anything else is looked at.
    if (!FListedEntries.Opened() || FListedEntries.ThroughLink()) {
        struct stat Status = {};
        if (::lstat(Dir.c_str(), &Status) != 0)
            throw EDDKError(DDKFormat("%s: %s", Dir.c_str(), DDKSysErrorMessage(errno).c_str()));
        if (!S_ISDIR(Status.st_mode))
            throw EDDKError(
                DDKFormat("Le dossier \"%s\" de la bibliothèque est un lien ou n'est pas un dossier : "
                          "rien n'y est lu ni écrit",
                          Dir.c_str()));
    }
    for (const TDDKFolderEntry& Entry : FListedEntries)
        if ((Entry.IsSymLink || !Entry.IsRegular) && IsMovieFolderFile(Entry.Name))
            throw EDDKError(DDKFormat("\"%s/%.*s\" est un lien ou n'est pas un fichier ordinaire : il n'est ni "
                                      "lu ni remplacé",
                                      Dir.c_str(), static_cast<int>(Entry.Name.size()), Entry.Name.data()));
    FListedDir = Dir;
    FListedChecked = true;
}

std::string TSynchThread::CachedAnswer(const std::string& Dir)
{
    FListedEntries = DDKListFolder(Dir);
    FListedDir = Dir;
    FListedChecked = false;
    return DDKGetRealFileName(Dir, "allocine.*", FListedEntries);
}

bool TSynchThread::MovieFileExists(const std::string& Dir, std::string_view Name) const
{
    // Only a file seen there counts: one missing from the listing may have
    // come since, from this worker or another.
    if (FListedChecked && Dir == FListedDir)
        if (const TDDKFolderEntry* Entry = FListedEntries.Find(Name); Entry && Entry->IsRegular && !Entry->IsSymLink)
            return true;
    return DDKFileExists(Dir + "/" + std::string(Name));
}

std::string TSynchThread::DvdInfoCacheDir()
{
    const std::string AppData = DDKGetSpecialFolder(DDKFolderAppData);
    return AppData.empty() ? AppData : AppData + "/Microsoft/eHome/DvdInfoCache";
}

void TSynchThread::SaveMovieInfo(std::int32_t Code, TMovieInfo& Movie)
{
    DDKTagged("[TSynchThread.SaveMovieInfo] ", [&] {
        const std::string OldName = Movie.FileName;
        std::string Answer;
        bool Fetched = false, IsJson = false;
        if (Movie.MovieDir.empty()) {
            const std::string Dir = FindMovieFolder(Code);
            const std::string Cache = Dir.empty() ? std::string() : CachedAnswer(Dir);
            if (!Cache.empty()) {
                FMetadata->ReadFicheAcFile(Cache, Movie);
                Movie.MovieDir = Dir;
            } else {
                GetFicheAc(Code, Answer);
                // Nothing is created before the answer has been read: a code
                // the service does not know leaves no empty folder behind.
                IsJson = FMetadata->ReadFicheAc(Answer, Movie);
                MakeMovieDir(Movie, FLibraryDir);
                Fetched = true;
            }
        }
        CheckMovieFolder(Movie.MovieDir);
        if (Fetched)
            DDKSaveFileAtomic(Movie.MovieDir + (IsJson ? "/allocine.json" : "/allocine.xml"), Answer);
        // The link keeps the name from before any rename: the other part of
        // a two-file movie looks its first part up by that name later on.
        const std::string Playlist = Movie.MovieDir + "/movie.asx";
        AddLink(OldName, Playlist);
        if (RenameMovieFile(Movie)) {
            JournalRename(OldName, Code, Movie.FileName);
            FMetadata->RenameAsxEntry(Playlist, OldName, Movie.FileName);
        }
        WriteMetadataFiles(Movie);
        SavePoster(Movie);
        CheckBackdrop(Movie);
    });
}

void TSynchThread::GetFicheAc(std::int32_t Code, std::string& Stream)
{
    DDKTagged("[TSynchThread.GetFicheAc] ", [&] {
        const std::string Url =
            GetAllocineUrl("movie", DDKFormat("profile=medium&format=json&code=%d", Code));
        if (!AskService(Url, Stream))
            throw EDDKError(FHttp->NotFound()
                                ? UnknownCodeText(Code)
                                : DDKFormat("Le service est resté indisponible pour le code %d", Code));
    });
}

std::string TSynchThread::UnknownCodeText(std::int32_t Code)
{
    return DDKFormat("Le code %d est inconnu du service (404 Not Found)", Code);
}

bool TSynchThread::RenameMovieFile(TMovieInfo& Movie)
{
    return DDKTagged("[TSynchThread.RenameMovieFile] ", [&] {
        if (!RenameFiles || FRenamingStopped)
            return false;
        const std::string NewPath = RenamedPath(Movie);
        if (DDKSameText(NewPath, Movie.FileName))
            return false;
        ListInPlaylist(Movie);
        // Never over another file: two movies that end up with the same name
        // must not cost the user one of them.
        if (!DDKRenameNoReplace(Movie.FileName, NewPath)) {
            const int Error = errno;
            throw EDDKError(DDKFormat("Impossible de renommer le fichier en \"%s\" (%s)", NewPath.c_str(),
                                      DDKSysErrorMessage(Error).c_str()));
        }
        Movie.FileName = NewPath;
        GetCdNumber(Movie);
        return true;
    });
}

void TSynchThread::JournalRename(const std::string& OldName, std::int32_t Code, const std::string& NewName)
{
    try {
        Log(DDKFormat("\"%s\" /OK #%d \"%s\"", OldName.c_str(), Code, DDKExtractFileName(NewName).c_str()));
    } catch (...) {
        // A full disc would take every later line as well: the old name is
        // kept on the file itself, and no rename goes without its line.
        FRenamingStopped = true;
        const std::string Cause = DDKCurrentErrorMessage();
        if (DDKRenameNoReplace(NewName, OldName))
            throw EDDKError(
                DDKFormat("Le renommage en \"%s\" n'a pas pu être inscrit au journal (%s) : le "
                          "fichier a repris son nom et plus aucun fichier n'est renommé jusqu'à la "
                          "fin de la synchronisation",
                          DDKExtractFileName(NewName).c_str(), Cause.c_str()));
        const int Error = errno;
        throw EDDKError(DDKFormat("Le renommage de \"%s\" en \"%s\" n'a pas pu être inscrit au journal (%s) "
                                  "et le fichier ne peut pas reprendre son nom (%s)",
                                  OldName.c_str(), NewName.c_str(), Cause.c_str(),
                                  DDKSysErrorMessage(Error).c_str()));
    }
}

void TSynchThread::ListInPlaylist(const TMovieInfo& Movie)
{
    const std::string Playlist = Movie.MovieDir + "/movie.asx";
    TMovieInfo Entry = Movie;
    if (Movie.CdNumber > 0 && DDKFileExists(Playlist)) {
        // The other part may already carry the name we give it.
        TMovieInfo Other = Movie;
        Other.SetFileName(Movie.OtherCdFile);
        const std::string OtherRenamed = RenamedPath(Other);
        TDDKStringList Entries;
        FMetadata->ReadAsxEntries(Playlist, Entries);
        if (DDKIndexOf(Entries, OtherRenamed, true) >= 0)
            Entry.OtherCdFile = OtherRenamed;
    }
    FMetadata->CreateAsx(Playlist, Entry, false);
}

void TSynchThread::WriteMetadataFiles(TMovieInfo& Movie)
{
    const std::string& Dir = Movie.MovieDir;
    // Read once a run: the environment it comes from does not change.
    if (!FCacheDirRead) {
        FCacheDir = DvdInfoCacheDir();
        FCacheDirRead = true;
    }
    const std::string& CacheDir = FCacheDir;

    // Each writer keeps a file that is there; one the folder's listing shows
    // is not even asked about again.
    FMetadata->CreateAsx(Dir + "/movie.asx", Movie, false);
    if (!MovieFileExists(Dir, "movie.nfo"))
        FMetadata->CreateNfo(Dir + "/movie.nfo", Movie, false);
    if (!MovieFileExists(Dir, "movie.xml"))
        FMetadata->CreateMovieXml(Dir + "/movie.xml", Movie, false);
    if (!MovieFileExists(Dir, "movie.strm"))
        FMetadata->CreateStrm(Dir + "/movie.strm", false);
    if (!MovieFileExists(Dir, "wmc.dvdid.xml"))
        FMetadata->CreateDvdId(Dir + "/wmc.dvdid.xml", Movie.Title, Movie.Code, false);
    // Without it the cache file would land at the root of the file system;
    // the library's own files above do not depend on it.
    if (CacheDir.empty())
        throw EDDKError("No application data folder: neither XDG_CONFIG_HOME nor HOME is set");
    const std::string CacheFile = CacheDir + "/" + std::to_string(Movie.Code) + ".xml";
    try {
        FMetadata->CreateDvdInfoCache(CacheFile, Movie, false);
    } catch (const EDDKError&) {
        // Made when first missing, and again whenever someone has taken it
        // away since: asking before every write would cost a look per movie.
        // Another worker may have made it meanwhile, so the write is tried
        // again whenever the folder is there now.
        std::error_code Error;
        std::filesystem::create_directories(CacheDir, Error);
        if (Error)
            throw;
        FMetadata->CreateDvdInfoCache(CacheFile, Movie, false);
    }
}
void TSynchThread::SavePoster(TMovieInfo& Movie)
{
    const std::string Poster = Movie.MovieDir + "/folder.jpg";
    // A poster that cannot be opened (size -1) is left alone; only a missing
    // or empty one is fetched again. That is also why it is not flushed to
    // disc: one that a crash leaves missing or empty comes back next run.
    if (DDKFileFilled(Poster))
        return;
    std::error_code Ignored;
    std::filesystem::remove(Poster, Ignored);
    if (Movie.PosterUrl.empty()) {
        DDKSaveFileAtomic(Poster, VantryResource_nofolder600(), false);
        return;
    }
    // Saved whatever the fetch gave: an empty poster after "not found" is
    // fetched again by the next run.
    std::string Picture;
    AskService(Movie.PosterUrl, Picture);
    CheckMovieFolder(Movie.MovieDir); // the folder as it is after the wait
    DDKSaveFileAtomic(Poster, Picture, false);
}
