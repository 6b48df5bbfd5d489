// Time of a full synchronisation over an already synchronised library, beside
// its floor: every read and test such a run must make, done with plain system
// calls, without events and without writing anything. The two should grow
// alike with the number of movies. Each figure is the median of five runs
// after one warm-up; the last line is "ratio <synch / floor>" for the largest
// library. Each synchronisation runs in a process of its own, as in the
// program, so that its peak memory is its own and not the generator's.
//
//     synch_bench [N...]      (default: 1000 10000)
#include "DDKFiles.h"
#include "DDKStrings.h"
#include "DDKSystem.h"
#include "LibraryGenerator.h"
#include "QueueDispatcher.h"
#include "UnitConfig.h"
#include "UnitThread.h"

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point Start)
{
    return std::chrono::duration<double>(Clock::now() - Start).count();
}

std::string ReadWhole(const std::string& FileName)
{
    std::string bytes;
    const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return bytes;
    char buffer[65536];
    for (ssize_t count; (count = ::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, static_cast<std::size_t>(count));
    ::close(fd);
    return bytes;
}

bool EndsWith(const std::string& Name, const char* Suffix)
{
    const std::size_t length = std::strlen(Suffix);
    return Name.size() >= length && strcasecmp(Name.c_str() + Name.size() - length, Suffix) == 0;
}

// Every file below Folder whose name ends with one of Suffixes, one listing
// per folder.
void Walk(const std::string& Folder, std::initializer_list<const char*> Suffixes,
          std::vector<std::string>& Files)
{
    std::vector<std::string> queue{Folder};
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const std::string dir = std::move(queue[head]);
        DIR* handle = ::opendir(dir.c_str());
        if (handle == nullptr)
            continue;
        while (const dirent* item = ::readdir(handle)) {
            if (item->d_name[0] == '.' && (item->d_name[1] == 0 || std::strcmp(item->d_name, "..") == 0))
                continue;
            std::string path = dir + "/" + item->d_name;
            if (item->d_type == DT_DIR)
                queue.push_back(std::move(path));
            else if (std::any_of(Suffixes.begin(), Suffixes.end(),
                                 [&path](const char* Suffix) { return EndsWith(path, Suffix); }))
                Files.push_back(std::move(path));
        }
        ::closedir(handle);
    }
}

bool Exists(const std::string& FileName)
{
    struct stat status;
    return ::stat(FileName.c_str(), &status) == 0;
}

// The least a re-synchronisation of an already synchronised library must
// read and test: both walks, every playlist, the link of each movie file,
// its folder's listing for the cached answer and the answer itself, the
// existence (and, for pictures, the size) of every library file and of the
// DvdInfoCache file, and the anomaly records of both services.
double Floor(const std::string& MovieFolder)
{
    const auto start = Clock::now();
    const std::string library = MovieFolder + "/@Vantry";
    std::vector<std::string> playlists;
    Walk(library, {".asx"}, playlists);
    std::unordered_map<std::string, std::string> links;
    for (const std::string& playlist : playlists) {
        const std::string bytes = ReadWhole(playlist);
        for (std::size_t at = bytes.find("href=\""); at != std::string::npos;
             at = bytes.find("href=\"", at)) {
            at += 6;
            const std::size_t end = bytes.find('"', at);
            const std::string linked = bytes.substr(at, end - at);
            Exists(linked);
            links.emplace(linked, DDKExtractFilePath(playlist));
        }
    }
    std::vector<std::string> movies;
    Walk(MovieFolder, {".avi", ".mkv"}, movies);
    std::sort(movies.begin(), movies.end(),
              [](const std::string& A, const std::string& B) { return DDKLocaleCompareText(A, B) < 0; });
    const std::string dvdInfoCache = DDKGetSpecialFolder(DDKFolderAppData) + "/Microsoft/eHome/DvdInfoCache/";
    struct stat status;
    for (const std::string& movie : movies) {
        const std::string name = DDKExtractFileName(movie);
        Exists(Config.AnomalyDir + "/allocine-" + name + ".xml");
        Exists(Config.AnomalyDir + "/allocine-" + name + ".json");
        const auto link = links.find(movie);
        if (link == links.end())
            continue;
        const std::string& folder = link->second;
        std::string cache;
        if (DIR* handle = ::opendir(folder.c_str())) {
            while (const dirent* item = ::readdir(handle))
                if (std::strncmp(item->d_name, "allocine.", 9) == 0) {
                    cache = folder + item->d_name;
                    break;
                }
            ::closedir(handle);
        }
        const std::string answer = ReadWhole(cache);
        const std::string code = folder.substr(folder.rfind('#') + 1, folder.size() - folder.rfind('#') - 2);
        for (const char* file :
             {"movie.asx", "movie.nfo", "movie.xml", "movie.strm", "wmc.dvdid.xml", "tmdb.json"})
            Exists(folder + file);
        for (const char* picture : {"folder.jpg", "backdrop.jpg", "fanart.jpg"})
            ::stat((folder + picture).c_str(), &status); // its size tells an empty picture
        Exists(dvdInfoCache + code + ".xml");
        Exists(Config.AnomalyDir + "/tmdb-" + code + ".xml");
        Exists(Config.AnomalyDir + "/tmdb-" + code + ".json");
    }
    return SecondsSince(start);
}

double Median(std::vector<double> Values)
{
    std::sort(Values.begin(), Values.end());
    return Values[Values.size() / 2];
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

struct TSynchRun
{
    double Seconds = 0;
    int LogLines = 0;
    long PeakKilobytes = 0;
    std::string FirstLine;
};

// One synchronisation in a new process of this program ("--synch").
TSynchRun SynchroniseApart(const std::string& Program, const std::string& MovieFolder)
{
    TSynchRun run;
    const std::string command = "'" + Program + "' --synch '" + MovieFolder + "' '" + Config.AnomalyDir + "'";
    FILE* child = ::popen(command.c_str(), "r");
    if (child == nullptr ||
        std::fscanf(child, "%lf %d %ld ", &run.Seconds, &run.LogLines, &run.PeakKilobytes) != 3)
        std::fprintf(stderr, "the synchronisation process failed\n");
    for (int c; child != nullptr && (c = std::fgetc(child)) != EOF && c != '\n';)
        run.FirstLine += static_cast<char>(c);
    if (child != nullptr)
        ::pclose(child);
    return run;
}

// The child's side: synchronise, then print the time, the log lines, the
// peak memory and the first log line.
int SynchroniseHere(const std::string& MovieFolder, const std::string& AnomalyDir)
{
    Config.AnomalyDir = AnomalyDir;
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    TSynchRun run;
    run.Seconds = Synchronise(MovieFolder, run.LogLines, run.FirstLine);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.6f %d %ld %s\n", run.Seconds, run.LogLines, usage.ru_maxrss, run.FirstLine.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--synch") == 0)
        return SynchroniseHere(argv[2], argv[3]);
    const std::string program = fs::read_symlink("/proc/self/exe").string();

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

    // As the program itself sets it: names sort by the user's locale.
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C"); // figures printed with a decimal point
    constexpr int Runs = 5;
    std::printf("%8s %14s %12s %12s %8s %14s %10s\n", "movies", "generate (s)", "floor (s)", "synch (s)",
                "ratio", "synch us/movie", "log lines");
    double lastRatio = 0;
    long peakKilobytes = 0;
    for (const int count : sizes) {
        const std::string folder = root + "/Films" + std::to_string(count);
        const auto start = Clock::now();
        GenerateSynchronisedLibrary(folder, count);
        const double generated = SecondsSince(start);
        ::sync(); // its write-back would otherwise run during the measures
        std::vector<double> floors, synchs;
        TSynchRun last;
        for (int run = 0; run <= Runs; ++run) {
            const double floor = Floor(folder);
            last = SynchroniseApart(program, folder);
            peakKilobytes = std::max(peakKilobytes, last.PeakKilobytes);
            if (run == 0)
                continue; // warm-up
            floors.push_back(floor);
            synchs.push_back(last.Seconds);
        }
        const double floor = Median(floors);
        const double synchronised = Median(synchs);
        lastRatio = synchronised / floor;
        std::printf("%8d %14.2f %12.3f %12.3f %8.2f %14.1f %10d\n", count, generated, floor, synchronised,
                    lastRatio, 1e6 * synchronised / count, last.LogLines);
        if (last.LogLines > 0)
            std::printf("    first log line: %s\n", last.FirstLine.c_str());
        fs::remove_all(folder);
    }
    std::printf("peak memory of a synchronisation %.1f MB\n", peakKilobytes / 1024.0);
    std::printf("ratio %.2f\n", lastRatio);
    fs::remove_all(root);
    return 0;
}
