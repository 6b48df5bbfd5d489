// Time of a full synchronisation over an already synchronised library, beside
// its floor: exactly the reads, tests and sorts such a run must make, done
// with plain system calls, the same parsers and the program's own sort,
// without events and without writing anything. The two should grow alike with
// the number of movies. Each figure is the median of five runs after one
// warm-up, the floor and the synchronisation taking turns; the last line is
// "ratio <synch / floor>" for the largest library. Both run in a process of
// their own, as the program does, so that the peak memory of a
// synchronisation is its own and not the generator's. Both sort in the
// locale of the environment (LC_ALL), as the program does.
//
//     synch_bench [N...]      (default: 1000 10000)
#include "DDKFiles.h"
#include "DDKStringList.h"
#include "DDKStrings.h"
#include "DDKSystem.h"
#include "LibraryGenerator.h"
#include "QueueDispatcher.h"
#include "UnitConfig.h"
#include "UnitThread.h"

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

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
#include <string_view>
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

long PeakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
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

// Calls Visit(name, is a folder) for each entry of Dir but "." and "..": one
// open, the reads of the entries, one close.
template <class TVisit> void ListFolder(const std::string& Dir, TVisit&& Visit)
{
    const int fd = ::open(Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    alignas(dirent64) char buffer[32768];
    for (ssize_t size; (size = ::getdents64(fd, buffer, sizeof buffer)) > 0;)
        for (ssize_t at = 0; at < size;) {
            const auto* item = reinterpret_cast<const dirent64*>(buffer + at);
            at += item->d_reclen;
            const std::string_view name = item->d_name;
            if (name != "." && name != "..")
                Visit(name, item->d_type == DT_DIR);
        }
    ::close(fd);
}

bool EndsWith(std::string_view Name, std::string_view Suffix)
{
    return Name.size() >= Suffix.size() &&
           strncasecmp(Name.data() + Name.size() - Suffix.size(), Suffix.data(), Suffix.size()) == 0;
}

// Every file below Folder whose name ends with one of Suffixes, each folder
// listed once, in the program's order (case ignored, the user's locale).
TDDKStringList Walk(const std::string& Folder, std::initializer_list<std::string_view> Suffixes)
{
    TDDKStringList files;
    std::vector<std::string> queue{Folder + "/"};
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const std::string dir = std::move(queue[head]);
        ListFolder(dir, [&](std::string_view Name, bool IsFolder) {
            if (IsFolder)
                queue.push_back(dir + std::string(Name) + "/");
            else if (std::any_of(Suffixes.begin(), Suffixes.end(),
                                 [Name](std::string_view Suffix) { return EndsWith(Name, Suffix); }))
                files.Add(dir + std::string(Name));
        });
    }
    files.SetSorted(true);
    return files;
}

bool Exists(const std::string& FileName)
{
    struct stat status;
    return ::stat(FileName.c_str(), &status) == 0;
}

bool Filled(const std::string& FileName)
{
    struct stat status;
    return ::stat(FileName.c_str(), &status) == 0 && status.st_size > 0;
}

// The least a re-synchronisation of an already synchronised library must
// read, test and sort, in the program's order:
// - the library walked (each folder listed once) and its playlists sorted,
//   read and parsed; the existence of every linked movie file;
// - the movie folder walked (the library again included) and its movie files
//   sorted;
// - for each movie file: its two possible AlloCine anomaly records; its movie
//   folder listed, which tells the cached answer and which of the
//   media-centre files are there; the answer read and parsed; one look at
//   the playlist, which tells that it still names the movie as when it was
//   read (or it would have to be read again); the sizes of the poster and of
//   the backdrop, and only when the backdrop is missing or empty, TMDb's
//   record and anomaly records; the DvdInfoCache file.
double Floor(const std::string& Folder)
{
    const auto start = Clock::now();
    // The playlists name movie files by absolute paths, as the program sees them.
    const std::string MovieFolder = fs::absolute(Folder).lexically_normal().string();
    const std::string library = MovieFolder + "/@Vantry";
    const pugi::xpath_query references("/asx/entry/ref/@href");
    std::unordered_map<std::string, std::string> links;
    for (const TDDKStringItem& playlist : Walk(library, {".asx"})) {
        const std::string bytes = ReadWhole(playlist.String);
        pugi::xml_document document;
        document.load_buffer(bytes.data(), bytes.size());
        for (const pugi::xpath_node& reference : references.evaluate_node_set(document))
            links.emplace(reference.attribute().value(), DDKExtractFilePath(playlist.String));
    }
    for (const auto& link : links)
        Exists(link.first);

    const TDDKStringList movies = Walk(MovieFolder, {".avi", ".mkv"});
    const std::string dvdInfoCache = DDKGetSpecialFolder(DDKFolderAppData) + "/Microsoft/eHome/DvdInfoCache/";
    for (const TDDKStringItem& movie : movies) {
        const std::string name = DDKExtractFileName(movie.String);
        Exists(Config.AnomalyDir + "/allocine-" + name + ".xml");
        Exists(Config.AnomalyDir + "/allocine-" + name + ".json");
        const auto link = links.find(movie.String);
        if (link == links.end())
            continue;
        const std::string& folder = link->second;
        std::string cache;
        bool hasRecord = false;
        ListFolder(folder, [&](std::string_view Name, bool) {
            if (Name.starts_with("allocine.") && (cache.empty() || Name < cache))
                cache = Name;
            hasRecord = hasRecord || Name == "tmdb.json";
        });
        const nlohmann::json answer = nlohmann::json::parse(ReadWhole(folder + cache), nullptr, false);
        const std::string code = folder.substr(folder.rfind('#') + 1, folder.size() - folder.rfind('#') - 2);
        Exists(folder + "movie.asx");
        Filled(folder + "folder.jpg");
        if (!Filled(folder + "backdrop.jpg") && !hasRecord) {
            Exists(Config.AnomalyDir + "/tmdb-" + code + ".xml");
            Exists(Config.AnomalyDir + "/tmdb-" + code + ".json");
        }
        Exists(dvdInfoCache + code + ".xml");
        if (answer.is_discarded())
            std::fprintf(stderr, "%s: not JSON\n", cache.c_str());
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
    // Done when the window would say so; the worker then lets go of its
    // memory, as the floor does after its time is taken.
    const double seconds = SecondsSince(start);
    TWorkerThread::WaitForAllWorkers();
    return seconds;
}

struct TRun
{
    double Seconds = 0;
    int LogLines = 0;
    long PeakKilobytes = 0;
    std::string FirstLine;
};

// One synchronisation ("--synch") or one floor ("--floor") in a new process
// of this program.
TRun RunApart(const std::string& Program, const char* Mode, const std::string& MovieFolder)
{
    TRun run;
    const std::string command =
        "'" + Program + "' " + Mode + " '" + MovieFolder + "' '" + Config.AnomalyDir + "'";
    FILE* child = ::popen(command.c_str(), "r");
    if (child == nullptr ||
        std::fscanf(child, "%lf %d %ld ", &run.Seconds, &run.LogLines, &run.PeakKilobytes) != 3)
        std::fprintf(stderr, "the %s process failed\n", Mode);
    for (int c; child != nullptr && (c = std::fgetc(child)) != EOF && c != '\n';)
        run.FirstLine += static_cast<char>(c);
    if (child != nullptr)
        ::pclose(child);
    return run;
}

// The child's side: synchronise, or make the floor's reads and tests, then
// print the time, the log lines, the peak memory and the first log line.
int RunHere(const std::string& Mode, const std::string& MovieFolder, const std::string& AnomalyDir)
{
    Config.AnomalyDir = AnomalyDir;
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    TRun run;
    run.Seconds = Mode == "--synch" ? Synchronise(MovieFolder, run.LogLines, run.FirstLine) : Floor(MovieFolder);
    std::printf("%.6f %d %ld %s\n", run.Seconds, run.LogLines, PeakKilobytes(), run.FirstLine.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && (std::strcmp(argv[1], "--synch") == 0 || std::strcmp(argv[1], "--floor") == 0))
        return RunHere(argv[1], argv[2], argv[3]);
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
    const char* collation = std::setlocale(LC_COLLATE, nullptr);
    std::printf("locale %s\n", collation != nullptr ? collation : "?");
    constexpr int Runs = 5;
    std::printf("%8s %14s %12s %12s %8s %14s %10s %10s\n", "movies", "generate (s)", "floor (s)", "synch (s)",
                "ratio", "synch us/movie", "peak (MB)", "log lines");
    double lastRatio = 0;
    for (const int count : sizes) {
        const std::string folder = root + "/Films" + std::to_string(count);
        const auto start = Clock::now();
        GenerateSynchronisedLibrary(folder, count);
        const double generated = SecondsSince(start);
        ::sync(); // its write-back would otherwise run during the measures
        std::vector<double> floors, synchs;
        TRun last;
        long peakKilobytes = 0;
        for (int run = 0; run <= Runs; ++run) {
            const double floor = RunApart(program, "--floor", folder).Seconds;
            last = RunApart(program, "--synch", folder);
            peakKilobytes = std::max(peakKilobytes, last.PeakKilobytes);
            if (run == 0)
                continue; // warm-up
            floors.push_back(floor);
            synchs.push_back(last.Seconds);
        }
        const double floor = Median(floors);
        const double synchronised = Median(synchs);
        lastRatio = synchronised / floor;
        std::printf("%8d %14.2f %12.3f %12.3f %8.2f %14.1f %10.1f %10d\n", count, generated, floor, synchronised,
                    lastRatio, 1e6 * synchronised / count, peakKilobytes / 1024.0, last.LogLines);
        if (last.LogLines > 0)
            std::printf("    first log line: %s\n", last.FirstLine.c_str());
        fs::remove_all(folder);
    }
    std::printf("ratio %.2f\n", lastRatio);
    fs::remove_all(root);
    return 0;
}
