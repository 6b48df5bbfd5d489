// The worker's life and its driver: construction, the two folders, the job of
// each mode, the events to the main thread and the walk over the movie files.
#include "UnitThread.h"

#include "DDKError.h"
#include "DDKFiles.h"
#include "DDKFindFile.h"
#include "DDKStrings.h"

#include <filesystem>
#include <thread>

TSynchThread::TSynchThread(TMainThreadDispatcher& Dispatcher)
    : TWorkerThread(Dispatcher), FHttp(std::make_unique<THttpObject>()),
      FMetadata(std::make_unique<TMetadata>())
{
    FreeOnTerminate = true;
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
    try {
        switch (Mode) {
        case ModeSynch:
            ScanAsxFiles();
            CheckLinks();
            ScanMovieFiles(FRootDir, true);
            break;
        case ModeAnomalyAllocine:
            if (!Movie)
                throw EDDKError("No movie record to finish");
            if (Movie->CdNumber == 2)
                std::this_thread::sleep_for(SecondPartWait);
            SaveMovieInfo(Code, *Movie);
            break;
        case ModeAnomalyTmdb:
            if (!Movie)
                throw EDDKError("No movie record to finish");
            SaveBackdrop(Code, *Movie);
            break;
        default:
            break;
        }
    } catch (...) {
        Log("[TSynchThread.Execute] " + DDKCurrentErrorMessage());
    }
}

// The stored values are written by the worker only and read by the main
// thread only while the worker waits for it, so they need no lock.

void TSynchThread::Log(const std::string& Line)
{
    FLogLine = Line;
    Synchronize([this] { DoLog(); });
}

void TSynchThread::SetProgressMax(std::int32_t Value)
{
    FProgressMax = Value;
    Synchronize([this] { DoProgressMax(); });
}

void TSynchThread::SetProgress(std::int32_t Value)
{
    FProgress = Value;
    Synchronize([this] { DoProgress(); });
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

void TSynchThread::DoProgress()
{
    if (OnProgress)
        OnProgress(FProgress);
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

void TSynchThread::ScanMovieFiles(const std::string& Folder, bool Recursive)
{
    const TDDKStringList files = FindFiles(Folder, "*.avi;*.mkv", Recursive);
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
