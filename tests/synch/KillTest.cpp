// A synchronisation killed with SIGKILL at many moments must never leave a
// half-written file that the next run trusts: after each kill, one full run
// ends without a failure (but the one that never can succeed) and leaves
// every library folder complete.
#include "SynchRun.h"
#include "SynchScenario.h"

#include <gtest/gtest.h>

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

struct KillTest : ::testing::Test
{
    TSynchScenario Scenario;

    // Starts over: the movie files as the user first had them, nothing kept.
    void Reset()
    {
        for (const std::string& Folder : {Scenario.DvdInfoCacheDir(), Config.AnomalyDir, Config.CacheDir}) {
            fs::remove_all(Folder);
            fs::create_directories(Folder);
        }
        Scenario.CreateMovieFiles();
    }

    std::multiset<std::string> MovieContents() const
    {
        std::multiset<std::string> Result;
        for (const auto& Entry : fs::recursive_directory_iterator(Scenario.MovieDir()))
            if (Entry.is_regular_file() && Entry.path().string().find("/@Vantry/") == std::string::npos)
                Result.insert(ReadWholeFile(Entry.path().string()));
        return Result;
    }

    // Runs the driver and kills it once Requests more requests have arrived
    // and Delay has passed; false when it ended first.
    bool KillAt(std::size_t Requests, std::chrono::microseconds Delay)
    {
        const std::size_t Before = Scenario.Fake.Requests().size();
        const std::string Program = Scenario.Temp / "app/vantry", Folder = Scenario.MovieDir();
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
        Scenario.Fake.WaitForRequests(Before + Requests, 20s);
        std::this_thread::sleep_for(Delay);
        const bool Killed = ::kill(Child, SIGKILL) == 0;
        int Status = 0;
        ::waitpid(Child, &Status, 0);
        return Killed && WIFSIGNALED(Status);
    }
};

TEST_F(KillTest, EveryKillPointLeavesALibraryTheNextRunCompletes)
{
    Scenario.ScriptServices();
    // One uninterrupted run to learn how many requests a first run sends.
    Reset();
    const std::multiset<std::string> Contents = MovieContents();
    RunSynchronisation(Scenario.MovieDir(), true);
    const std::size_t Requests = Scenario.Fake.Requests().size();
    ASSERT_GT(Requests, 10u);

    int Killed = 0, Points = 0;
    for (std::size_t Count = 0; Count <= Requests && !HasFailure(); ++Count)
        for (const auto Delay : {0us, 300us, 1000us, 3000us}) {
            SCOPED_TRACE("killed after request " + std::to_string(Count) + " + " +
                         std::to_string(Delay.count()) + " us");
            Reset();
            Killed += KillAt(Count, Delay);
            ++Points;
            for (const std::string& Line : RunSynchronisation(Scenario.MovieDir(), true))
                EXPECT_TRUE(Line.find(" /OK #") != std::string::npos || Scenario.IsNoiseFailure(Line))
                    << Line;
            Scenario.ExpectCompleteLibrary(true);
            EXPECT_EQ(MovieContents(), Contents); // renaming never cost a movie file
        }
    std::printf("[ KILLED   ] %d of %d runs killed before their end\n", Killed, Points);
}

} // namespace
