// TSynchThread, the synchronisation worker. One object does one job on its own
// thread, chosen by Mode: a full synchronisation of a movie folder, or the
// finishing of one movie whose anomaly the user resolved by hand.
//
// It owns everything it works with and reaches the main thread only through
// its three events and its termination callback, each run there by the
// dispatcher while the worker waits.
//
// The implementation is split by concern: SynchThread.cpp (driver and events),
// LibraryLinks.cpp (the library's playlist links), Identification.cpp (one
// movie file), LibraryFolder.cpp (library folder, renaming, metadata files,
// poster) and Backdrop.cpp (backdrop and fanart).
#pragma once

#include "DDKFiles.h"
#include "DDKOpenTable.h"
#include "DDKStringList.h"
#include "HttpObject.h"
#include "MountPoints.h"
#include "UnitMetadata.h"
#include "UnitTypes.h"
#include "WorkerThread.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// What tells that a folder's entries changed: its change time and link count.
struct TFolderStamp
{
    std::int64_t Time = 0;
    std::uint64_t Links = 0;
    bool operator==(const TFolderStamp&) const = default;
};

class TSynchThread : public TWorkerThread
{
public:
    using TIntegerEvent = std::function<void(std::int32_t Value)>;
    using TLogEvent = std::function<void(const std::string& Line)>;

    // Created suspended and marked free-on-terminate.
    explicit TSynchThread(TMainThreadDispatcher& Dispatcher);
    ~TSynchThread() override;

    // Derives the movie folder and its library folder "@Vantry" from Folder,
    // which may be either of the two. Raises "Veuillez sélectionner un dossier
    // valide pour la synchronisation" when Folder is no folder; the fields then
    // stay as they were.
    void SetFolder(const std::string& Folder);

    const std::string& RootDir() const { return FRootDir; }
    const std::string& LibraryDir() const { return FLibraryDir; }

    // --- Set by the starter before Start -------------------------------------

    TIntegerEvent OnProgress;    // progress position
    TIntegerEvent OnProgressMax; // progress maximum
    TLogEvent OnLog;             // one log line
    bool RenameFiles = false;
    std::uint8_t Mode = ModeSynch;
    std::int32_t Code = -1;            // modes 1 and 2: the AlloCine code or TMDb id chosen
    std::unique_ptr<TMovieInfo> Movie; // modes 1 and 2: the record to finish; owned

    // A mode-1 worker for the second part of a two-file movie waits this long
    // before it starts, so that the first part's worker writes the shared
    // library folder first.
    std::chrono::milliseconds SecondPartWait{10000};
    // Where the mount table comes from; tests put in a table of their own.
    std::function<std::vector<std::string>()> ReadMountTable = ReadMountPoints;

    // The worker's own HTTP client (tests shorten its waits).
    THttpObject& Http() { return *FHttp; }

    // Whether the job ran to its end without an error: a single-movie worker
    // has then finished its movie. For the termination callback.
    bool Finished() const { return FFinished; }

    // --- Events, worker side: have the main thread run the matching Do*;
    // the worker waits for it, except for a progress position --------------

    void Log(const std::string& Line);
    void SetProgressMax(std::int32_t Value);
    void SetProgress(std::int32_t Value);

    // --- The walk over the movie files --------------------------------------

    void ScanMovieFiles(const std::string& Folder, bool Recursive);
    // Whether the file Name (without its folder) is one the walk takes for a
    // movie file, by its masks ("*.avi", "*.mkv", A-Z case ignored).
    static bool IsMovieFileName(std::string_view Name);

    // --- Library playlist links ---------------------------------------------

    // Fills the link lists from every playlist found under the library folder
    // (links left aside), and removes the copies of saves cut short there.
    // Raises when a folder of the library cannot be read to its end: a
    // playlist missed would leave its movie to be fetched again.
    void ScanAsxFiles();
    // Repairs each link whose movie file now carries the name we give it or
    // sits at the same place on the movie folder's volume, and drops (with
    // its movie folder) each link whose file is gone. A file that cannot be
    // examined for the moment keeps its link and folder, and is logged. A
    // movie folder that cannot be read to its end raises: nothing is taken
    // for gone on the strength of a listing that may be short.
    void CheckLinks();
    void AddLink(const std::string& FileName, const std::string& AsxFile);
    // True when FileName is linked and its movie folder's cached AlloCine
    // answer was read into Movie (MovieDir set to that folder).
    bool GoodFileName(const std::string& FileName, TMovieInfo& Movie);
    // The one folder of the library whose name ends with "#" and Code, or "".
    std::string FindMovieFolder(std::int32_t Code);

    const TDDKStringList& LinkedFiles() const { return FLinkedFiles; }
    const TDDKStringList& LinkAsx() const { return FLinkAsx; }

    // --- Identification of one movie file -----------------------------------

    void SynchFile(const std::string& FileName);
    std::int32_t SearchMovie(const std::string& Words);
    std::int32_t ScanListAc(const std::string& Words, TMovieList& Movies);
    void GetSearchAc(const std::string& Query);

    // --- Movie library folder, renaming, metadata files and poster ----------

    void SaveMovieInfo(std::int32_t Code, TMovieInfo& Movie);
    // Fetches the AlloCine "movie" answer of Code; raises when the service
    // does not know the code or stays unavailable.
    void GetFicheAc(std::int32_t Code, std::string& Stream);
    bool RenameMovieFile(TMovieInfo& Movie);
    // Journals the rename of the file OldName to NewName, the one record of
    // its old name, before any later step. When the line cannot be written
    // the file takes its old name back, no file is renamed for the rest of
    // the job, and the error goes on to the caller.
    void JournalRename(const std::string& OldName, std::int32_t Code, const std::string& NewName);
    void WriteMetadataFiles(TMovieInfo& Movie);
    void SavePoster(TMovieInfo& Movie);

    // --- Backdrop and fanart -------------------------------------------------

    void CheckBackdrop(TMovieInfo& Movie);
    std::int32_t SearchBackdrop(TMovieInfo& Movie);
    std::int32_t ScanListTmdb(TMovieInfo& Movie, TMovieList& List);
    void GetSearchTmdb(const std::string& Query);
    void GetFicheTmdb(std::int32_t Id, std::string& Stream);
    void SaveBackdrop(std::int32_t Id, TMovieInfo& Movie);

protected:
    // The job of the mode, inside one error guard that logs what reaches it.
    void Execute() override;

private:
    // Main-thread side of the events: each calls its event when assigned.
    void DoLog();
    void DoProgressMax();
    void DoProgress(std::int32_t Value);
    // Sends the positions held, if any, to the main thread without waiting.
    void PostPositions();
    // FHttp->CallHttp, which waits for a service: the movie folder's listing
    // is let go, so that what is decided or written next is decided from a
    // listing, or a check, made after the wait.
    bool AskService(const std::string& Url, std::string& Stream);

    // The full paths of the files under Path matching Masks, sorted.
    static TDDKStringList FindFiles(const std::string& Path, const std::string& Masks, bool Recursive);
    // Whether Folder is recognisably a movie folder of ours, the only kind
    // that may be removed for a vanished movie: a real folder (not a symbolic
    // link) directly inside the library folder, named with "#" and a code,
    // that holds a cached AlloCine answer.
    bool IsMovieFolder(const std::string& Folder) const;
    // The path that renaming gives the file Linked of the movie folder
    // Folder, from the folder's cached answer; "" when it cannot be told.
    std::string RenamedLinkTarget(const std::string& Linked, const std::string& Folder);
    // The path RenameMovieFile gives Movie's file.
    static std::string RenamedPath(const TMovieInfo& Movie);
    // Makes sure the playlist of Movie's folder names its file as it is now
    // named, so that a run stopped right after a rename still finds it.
    void ListInPlaylist(const TMovieInfo& Movie);
    // Raises unless Dir is a real folder whose files of ours are plain files:
    // a symbolic link there leads to the user's own files elsewhere, which
    // are neither read as ours nor written through, and a pipe or a device
    // would hold the worker. Made again after every wait for a service
    // before anything more is written into Dir. Raises too when Dir cannot
    // be read to its end.
    void CheckMovieFolder(const std::string& Dir);
    // Dir + "/" + the name of its cached AlloCine answer, or "" (raises when
    // Dir cannot be read to its end). The listing it takes serves the next
    // CheckMovieFolder of the same folder unless a wait comes in between.
    std::string CachedAnswer(const std::string& Dir);
    // The reason given when a service answers "404 Not Found" for a movie code.
    static std::string UnknownCodeText(std::int32_t Code);
    // Whether the file Name of the movie folder Dir is there (DDKFileExists):
    // from the listing CheckMovieFolder made of Dir for this movie when it
    // shows a plain file of that name, otherwise by a look of its own.
    bool MovieFileExists(const std::string& Dir, std::string_view Name) const;
    // The DvdInfoCache folder under the application-data folder; "" without one.
    static std::string DvdInfoCacheDir();
    // Removes the copies of saves cut short in the program's other folders.
    void RemoveStaleTemporaryFiles();
    // Rebuilds the look-up of the first link of each file name.
    void IndexLinks();
    // Adds link Index to the look-up unless a link of its very name is there.
    void IndexLink(int Index);
    // The index of the first link of FileName, else of the first link whose
    // name differs from it only in ASCII case, or -1.
    int FirstLink(std::string_view FileName) const;
    // What the look-up files a name under: the same for names that differ
    // only in the case of A-Z.
    static std::uint64_t LinkKey(std::string_view FileName);
    // The library listing by code, read once and kept while the library
    // folder does not change behind our back.
    void RefreshFolderIndex();
    void RememberMovieFolder(const std::string& Folder);

    // Declared in the order they are made; the destructor lets go of the
    // record, the metadata object and the HTTP client first.
    std::string FStreamAc;   // the last AlloCine search answer
    std::string FStreamTmdb; // the last TMDb search answer
    // Link i: the movie file FLinkedFiles[i] named by the playlist FLinkAsx[i],
    // in reading order, duplicates kept.
    TDDKStringList FLinkedFiles;
    TDDKStringList FLinkAsx;
    std::unique_ptr<THttpObject> FHttp;
    std::unique_ptr<TMetadata> FMetadata;
    std::string FSearchText; // the words of the last AlloCine query, joined with "+"
    std::string FRootDir;
    std::string FLibraryDir;
    std::int32_t FProgressMax = 0;
    // Positions not yet sent, and when positions were last sent.
    static constexpr std::chrono::milliseconds PositionsInterval{16};
    std::vector<std::int32_t> FPositions;
    std::chrono::steady_clock::time_point FPositionsPosted;
    std::string FLogLine;
    bool FRenamingStopped = false; // a rename of this job could not be journalled
    bool FFinished = false;

    // Speed-ups of the look-ups; they give exactly what a scan would.
    // LinkKey of a file name -> index of the first link of that very name
    // (names that differ only in case share a key); the names, kept once in
    // the link list, are compared on look-up.
    struct TLinkSlot
    {
        std::uint64_t Key = 0;
        int Index = -1; // -1: an empty slot
        bool Free() const { return Index < 0; }
    };
    TDDKOpenTable<TLinkSlot> FLinkIndex;
    // Code text (what follows the last "#") -> movie folders with that ending.
    std::map<std::string, std::vector<std::string>> FFolderIndex;
    bool FFolderIndexValid = false;
    TFolderStamp FFolderIndexStamp; // the library folder's when it was listed
    // The media-centre cache folder once this run has made it.
    std::string FCacheDir; // DvdInfoCacheDir(), once FCacheDirRead
    bool FCacheDirRead = false;
    // The last movie folder listed and its entries, until the next movie
    // file begins or the next wait for a service: listed by CachedAnswer,
    // checked by CheckMovieFolder, then asked which files are there. A
    // listing already checked is made anew by the next check, since files
    // may have come in the meantime.
    std::string FListedDir;
    TDDKFolderListing FListedEntries;
    bool FListedChecked = false;
};
