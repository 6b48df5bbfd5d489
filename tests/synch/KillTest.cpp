// A synchronisation killed with SIGKILL at many moments must never leave a
// half-written file that the next run trusts: after each kill, one full run
// ends without a failure (but the one that never can succeed) and leaves
// every library folder complete.
#include "SynchRun.h"
#include "SynchScenario.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct TKillPoint
{
    int Requests;                    // kill once this many requests have arrived...
    std::chrono::microseconds Delay; // ...and this long after
};

struct KillTest : ::testing::Test
{
    TSynchScenario Scenario;
    std::set<std::string> MovieContents;

    void SetUp() override { Scenario.ScriptServices(); }

    // Starts over: the movie files as the user first had them, nothing kept.
    void Reset()
    {
        for (const std::string& Folder : {Scenario.DvdInfoCacheDir(), Config.AnomalyDir, Config.CacheDir}) {
            fs::remove_all(Folder);
            fs::create_directories(Folder);
        }
        Scenario.CreateMovieFiles();
        MovieContents = Contents();
    }

    std::set<std::string> Contents() const
    {
        std::set<std::string> Result;
        for (const auto& Entry : fs::recursive_directory_iterator(Scenario.MovieDir()))
            if (Entry.is_regular_file() && Entry.path().string().find("/@Vantry/") == std::string::npos)
                Result.insert(ReadWholeFile(Entry.path().string()));
        return Result;
    }

    // Runs the driver and kills it at Point; false when it ended first.
    bool KillAt(const TKillPoint& Point)
    {
        const std::size_t Before = Scenario.Fake.Requests().size();
        const std::string Program = Scenario.Temp / "app/vantry";
        const std::string Folder = Scenario.MovieDir();
        char* Arguments[] = {const_cast<char*>(VANTRY_KILL_DRIVER), const_cast<char*>(Program.c_str()),
                             const_cast<char*>(Folder.c_str()), nullptr};
        pid_t Child = 0;
        posix_spawn_file_actions_t Actions;
        posix_spawn_file_actions_init(&Actions);
        posix_spawn_file_actions_addopen(&Actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        const int Spawned = posix_spawn(&Child, VANTRY_KILL_DRIVER, &Actions, nullptr, Arguments, environ);
        posix_spawn_file_actions_destroy(&Actions);
        if (Spawned != 0)
            throw std::runtime_error("cannot start the kill driver");
        Scenario.Fake.WaitForRequests(Before + Point.Requests, 20s);
        std::this_thread::sleep_for(Point.Delay);
        const bool Killed = ::kill(Child, SIGKILL) == 0;
        int Status = 0;
        ::waitpid(Child, &Status, 0);
        return Killed && WIFSIGNALED(Status);
    }
};

TEST_F(KillTest, EveryKillPointLeavesALibraryTheNextRunCompletes)
{
    // One uninterrupted run to learn how many requests a first run sends.
    Reset();
    const std::size_t Start = Scenario.Fake.Requests().size();
    RunSynchronisation(Scenario.MovieDir(), true);
    const int Requests = static_cast<int>(Scenario.Fake.Requests().size() - Start);
    ASSERT_GT(Requests, 10);

    std::vector<TKillPoint> Points;
    for (int Count = 0; Count <= Requests; ++Count)
        for (auto Delay : {0us, 300us, 1000us, 3000us})
            Points.push_back({Count, Delay});
    int Killed = 0;
    for (const TKillPoint& Point : Points) {
        SCOPED_TRACE("killed after request " + std::to_string(Point.Requests) + " + " +
                     std::to_string(Point.Delay.count()) + " us");
        Reset();
        Killed += KillAt(Point);
        const auto Lines = RunSynchronisation(Scenario.MovieDir(), true);
        for (const std::string& Line : Lines)
            EXPECT_TRUE(Line.find(" /OK #") != std::string::npos ||
                        Line.starts_with("\"" + Scenario.Movie("DVDRip XviD.avi") + "\" /ERROR #-1 > "))
                << Line;
        Scenario.ExpectCompleteLibrary(true);
        // Renaming never cost a movie file.
        EXPECT_EQ(Contents(), MovieContents);
        if (HasFailure())
            break;
    }
    RecordProperty("KillPoints", Killed);
    std::printf("[ KILLED   ] %d of %zu runs killed before their end\n", Killed, Points.size());
}

} // namespace
