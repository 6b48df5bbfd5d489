// A synchronisation killed at many moments must never leave a half-written
// file that the next run trusts: that run must complete every library folder.
#include "SynchRun.h"
#include "SynchScenario.h"

#include <gtest/gtest.h>

#include <csignal>
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

    // False when the driver ended before the kill.
    bool KillAt(std::size_t Requests, std::chrono::microseconds Delay)
    {
        const std::size_t Before = Scenario.Fake.Requests().size();
        const std::string Program = Scenario.Temp / "app/vantry", Folder = Scenario.MovieDir();
        char* Arguments[] = {const_cast<char*>(VANTRY_KILL_DRIVER), const_cast<char*>(Program.c_str()),
                             const_cast<char*>(Folder.c_str()), nullptr};
        pid_t Child = 0;
        if (posix_spawn(&Child, VANTRY_KILL_DRIVER, nullptr, nullptr, Arguments, environ) != 0)
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
    Reset(); // one uninterrupted run tells how many requests a first run sends
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
