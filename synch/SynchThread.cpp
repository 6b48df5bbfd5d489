// The worker's life and its driver: construction, the two folders, the job of
// each mode, the events to the main thread and the walk over the movie files.
#include "UnitThread.h"

#include "DDKError.h"
#include "DDKFiles.h"
#include "DDKFindFile.h"
#include "DDKStrings.h"
#include "UnitConfig.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

// The files the walk works on.
constexpr const char* MovieFileMasks = "*.avi;*.mkv";

// An advisory lock on the library folder, held for a worker's whole job: a
// full synchronisation holds it alone, since it takes the files it does not
// find for vanished movies; single-movie workers share it. The system lets go
// of it when the process ends, however it ends.
class TLibraryLock
{
public:
    TLibraryLock() = default;
    TLibraryLock(const TLibraryLock&) = delete;
    TLibraryLock& operator=(const TLibraryLock&) = delete;
    ~TLibraryLock()
    {
        if (FFd < 0)
            return;
        // A library made only to be locked goes again when nothing came into it.
        if (FCreated)
            ::rmdir(FFolder.c_str());
        ::close(FFd);
    }

    // False when another job holds the lock the other way. A missing library
    // is made so that there is something to lock; one that can neither be
    // made nor opened holds nothing of ours to protect, and the job goes on.
    bool Take(const std::string& Folder, bool Exclusive)
    {
        FFolder = Folder;
        FFd = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (FFd < 0 && errno == ENOENT && ::mkdir(Folder.c_str(), 0777) == 0) {
            FCreated = true;
            FFd = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        }
        if (FFd < 0)
            return true;
        if (::flock(FFd, (Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0)
            return true;
        FCreated = false; // the folder is the other job's now
        return false;
    }

    bool Created() const { return FCreated; }

private:
    std::string FFolder;
    int FFd = -1;
    bool FCreated = false;
};

} // namespace

TSynchThread::TSynchThread(TMainThreadDispatcher& Dispatcher)
    : TWorkerThread(Dispatcher), FHttp(std::make_unique<THttpObject>()),
      FMetadata(std::make_unique<TMetadata>())
{
    FreeOnTerminate = true;
    // A stop request also ends the request in progress, which could otherwise
    // hold the worker, and the window waiting for it, for minutes.
    // Positions still held are shown before the worker waits for an answer.
    FHttp->Aborted = [this] {
        PostPositions();
        return Terminated();
    };
}

TSynchThread::~TSynchThread()
{
    // The record first, then the tools that served it.
    Movie.reset();
    FMetadata.reset();
    FHttp.reset();
}

void TSynchThread::SetFolder(const std::string& Folder)
{
    std::string folder = Folder;
    // The playlists name movie files by absolute paths; a folder given
    // relative to the working folder would match none of them.
    if (!folder.empty() && folder.front() != '/') {
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(folder, error);
        if (!error)
            folder = absolute.lexically_normal().string();
    }
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();

    std::error_code error;
    if (folder.empty() || !std::filesystem::is_directory(folder, error))
        throw EDDKError("Veuillez sélectionner un dossier valide pour la synchronisation");

    if (DDKSameText(DDKExtractFileName(folder), "@Vantry")) {
        // The library folder itself, as the anomaly processing hands it over.
        FRootDir = DDKExcludeTrailingPathDelimiter(DDKExtractFilePath(folder));
        FLibraryDir = folder;
    } else {
        FRootDir = folder;
        FLibraryDir = DDKIncludeTrailingPathDelimiter(folder) + "@Vantry";
    }
}

void TSynchThread::Execute()
{
    // A single movie's failure names the movie and the code chosen for it,
    // as the anomaly walk names them: the user's choice waits in its record.
    std::string Subject;
    try {
        if (Mode != ModeSynch && Mode != ModeAnomalyAllocine && Mode != ModeAnomalyTmdb)
            return;
        if (Mode != ModeSynch && !Movie)
            throw EDDKError("No movie record to finish");
        if (Mode != ModeSynch)
            Subject = Mode == ModeAnomalyAllocine ? Movie->FileName : Movie->Title;
        // Two full synchronisations of one folder would each take the other's
        // renamed files for vanished movies.
        TLibraryLock Lock;
        if (!Lock.Take(FLibraryDir, Mode == ModeSynch))
            throw EDDKError(
                DDKFormat("Une synchronisation de ce dossier est déjà en cours (\"%s\")", FRootDir.c_str()));
        switch (Mode) {
        case ModeSynch:
            // A library made just now holds nothing to read.
            if (!Lock.Created())
                ScanAsxFiles();
            CheckLinks();
            RemoveStaleTemporaryFiles();
            ScanMovieFiles(FRootDir, true);
            break;
        case ModeAnomalyAllocine:
            if (Movie->CdNumber == 2)
                std::this_thread::sleep_for(SecondPartWait);
            SaveMovieInfo(Code, *Movie);
            break;
        case ModeAnomalyTmdb:
            SaveBackdrop(Code, *Movie);
            break;
        }
        FFinished = true;
    } catch (...) {
        const std::string Message = "[TSynchThread.Execute] " + DDKCurrentErrorMessage();
        Log(Mode == ModeSynch || !Movie
                ? Message
                : DDKFormat("\"%s\" /ERROR #%d > %s", Subject.c_str(), Code, Message.c_str()));
    }
    PostPositions();
}

// The stored values are written by the worker only and read by the main
// thread only while the worker waits for it, so they need no lock.
//
// A position only moves a bar: the worker neither waits for it nor wakes the
// main thread for each one, which costs more than handling a movie already
// synchronised. Positions are held and sent together at most once a frame,
// and always before any other event, before a request and at the end, so the
// main thread sees every one of them, in order, and never long after.

void TSynchThread::Log(const std::string& Line)
{
    PostPositions();
    FLogLine = Line;
    Synchronize([this] { DoLog(); });
}

void TSynchThread::SetProgressMax(std::int32_t Value)
{
    PostPositions();
    FProgressMax = Value;
    Synchronize([this] { DoProgressMax(); });
}

void TSynchThread::SetProgress(std::int32_t Value)
{
    FPositions.push_back(Value);
    if (std::chrono::steady_clock::now() - FPositionsPosted >= PositionsInterval)
        PostPositions();
}

void TSynchThread::PostPositions()
{
    if (FPositions.empty())
        return;
    Queue([this, Positions = std::exchange(FPositions, {})] {
        for (const std::int32_t Position : Positions)
            DoProgress(Position);
    });
    FPositionsPosted = std::chrono::steady_clock::now();
}

bool TSynchThread::AskService(const std::string& Url, std::string& Stream)
{
    // Anything may change in the movie's folder while the answer is awaited.
    FListedDir.clear();
    return FHttp->CallHttp(Url, Stream);
}

void TSynchThread::DoLog()
{
    if (OnLog)
        OnLog(FLogLine);
}

void TSynchThread::DoProgressMax()
{
    if (OnProgressMax)
        OnProgressMax(FProgressMax);
}

void TSynchThread::DoProgress(std::int32_t Value)
{
    if (OnProgress)
        OnProgress(Value);
}

TDDKStringList TSynchThread::FindFiles(const std::string& Path, const std::string& Masks, bool Recursive)
{
    TDDKFindFile finder;
    finder.Path = Path;
    finder.Recursive = Recursive;
    finder.Masks = Masks;
    finder.Execute();
    return std::move(finder.Files);
}

void TSynchThread::RemoveStaleTemporaryFiles()
{
    // Those of the library were taken away by its walk.
    for (const std::string& Folder : {Config.AnomalyDir, Config.CacheDir, DvdInfoCacheDir()})
        if (!Folder.empty())
            DDKRemoveStaleTemporaryFiles(Folder);
}

void TSynchThread::ScanMovieFiles(const std::string& Folder, bool Recursive)
{
    const TDDKStringList files = FindFiles(Folder, MovieFileMasks, Recursive);
    const int count = files.Count();
    SetProgressMax(count);
    for (int i = 0; i < count; ++i) {
        // A file already begun is finished; the stop request is read only here.
        if (Terminated())
            break;
        SynchFile(files[i]);
        SetProgress(i + 1);
    }
}

bool TSynchThread::IsMovieFileName(std::string_view Name)
{
    // Read as the walk reads its masks.
    static const std::vector<TDDKWildcard> Masks = [] {
        TDDKStringList List;
        DDKSplit(List, MovieFileMasks, ";");
        std::vector<TDDKWildcard> Read;
        for (const TDDKStringItem& Mask : List)
            Read.emplace_back(Mask.String);
        return Read;
    }();
    return std::any_of(Masks.begin(), Masks.end(),
                       [Name](const TDDKWildcard& Mask) { return Mask.Matches(Name); });
}
