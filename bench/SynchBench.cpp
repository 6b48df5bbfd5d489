// Time of a full synchronisation over an already synchronised library, beside
// the time of merely reading its playlists and cached answers: the two should
// grow alike with the number of movies.
//
//     synch_bench [N...]      (default: 1000 10000)
#include "DDKFiles.h"
#include "DDKFindFile.h"
#include "LibraryGenerator.h"
#include "QueueDispatcher.h"
#include "UnitConfig.h"
#include "UnitThread.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point Start)
{
    return std::chrono::duration<double>(Clock::now() - Start).count();
}

// Reads every playlist and every cached answer of the library, and nothing else.
double ReadLibrary(const std::string& Library)
{
    const auto start = Clock::now();
    TDDKFindFile finder;
    finder.Path = Library;
    finder.Recursive = true;
    finder.Masks = "*.asx";
    finder.Execute();
    TMetadata metadata;
    TDDKStringList entries;
    for (const TDDKStringItem& playlist : finder.Files) {
        metadata.ReadAsxEntries(playlist.String, entries);
        TMovieInfo movie;
        metadata.ReadFicheAcFile(DDKExtractFilePath(playlist.String) + "allocine.json", movie);
    }
    return SecondsSince(start);
}

// One full synchronisation on a worker, the calling thread serving as its
// main thread. Returns the time and counts the log lines it sent.
double Synchronise(const std::string& MovieFolder, int& LogLines, std::string& FirstLine)
{
    TQueueDispatcher dispatcher;
    bool ended = false;
    auto* worker = new TSynchThread(dispatcher);
    worker->OnLog = [&](const std::string& Line) {
        if (LogLines++ == 0)
            FirstLine = Line;
    };
    worker->OnTerminate = [&ended](TWorkerThread*) { ended = true; };
    worker->SetFolder(MovieFolder);
    const auto start = Clock::now();
    worker->Start();
    dispatcher.PumpUntil([&ended] { return ended; }, std::chrono::hours(2));
    TWorkerThread::WaitForAllWorkers();
    return SecondsSince(start);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {1000, 10000};

    char pattern[] = "/tmp/vantry-bench-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const std::string root = pattern;
    // Everything the run writes stays in the scratch folder, and a request
    // that should not happen fails at once instead of reaching the web.
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("http_proxy", "http://127.0.0.1:9", 1);
    Config.AnomalyDir = root + "/Anomaly";
    fs::create_directories(Config.AnomalyDir);

    std::printf("%8s %14s %14s %12s %10s\n", "movies", "generate (s)", "read only (s)", "synch (s)",
                "log lines");
    for (const int count : sizes) {
        const std::string folder = root + "/Films" + std::to_string(count);
        const auto start = Clock::now();
        GenerateSynchronisedLibrary(folder, count);
        const double generated = SecondsSince(start);
        const double read = ReadLibrary(folder + "/@Vantry");
        int logLines = 0;
        std::string firstLine;
        const double synchronised = Synchronise(folder, logLines, firstLine);
        std::printf("%8d %14.2f %14.2f %12.2f %10d\n", count, generated, read, synchronised, logLines);
        if (logLines > 0)
            std::printf("    first log line: %s\n", firstLine.c_str());
        fs::remove_all(folder);
    }
    fs::remove_all(root);
    return 0;
}
