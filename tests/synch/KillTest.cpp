// Synchronisations cut short, and two at once: whatever the moment of the
// kill, the next run completes the library without losing a folder of it, a
// movie file or the journal line of a rename.
#include "LogWriter.h"
#include "SynchRun.h"
#include "SynchScenario.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

// The driver process; stepped, it stops itself at each of its stops.
struct TDriver
{
    pid_t Pid = 0;
    int Status = 0;

    TDriver(const std::string& Program, const std::string& Folder, bool Stepped)
    {
        if ((Pid = ::fork()) == 0) {
            ::execl(VANTRY_KILL_DRIVER, VANTRY_KILL_DRIVER, Program.c_str(), Folder.c_str(),
                    Stepped ? "stepped" : nullptr, nullptr);
            ::_exit(127);
        }
    }
    ~TDriver() { End(true); }

    bool NextStop() // false once it has ended
    {
        ::waitpid(Pid, &Status, WUNTRACED);
        Pid = WIFSTOPPED(Status) ? Pid : 0;
        return Pid != 0;
    }
    void Go() { ::kill(Pid, SIGCONT); }
    bool End(bool Kill) // true when killed
    {
        if (Pid != 0 && Kill)
            ::kill(Pid, SIGKILL);
        if (Pid != 0)
            ::waitpid(std::exchange(Pid, 0), &Status, 0);
        return WIFSIGNALED(Status);
    }
};

struct KillTest : ::testing::Test
{
    TSynchScenario Scenario;
    const std::string Program = Scenario.Temp / "app/vantry";
    const Strings Written = {"Films", "app/Anomaly", "app/Cache", "config"}; // what the program writes
    int Killed = 0, Points = 0;

    void SetUp() override
    {
        Scenario.ScriptServices();
        Scenario.CreateMovieFiles();
        for (const std::string& Folder : {Scenario.DvdInfoCacheDir(), Config.AnomalyDir, Config.CacheDir})
            fs::create_directories(Folder);
    }

    void Snapshot(bool Restore) const
    {
        for (const std::string& Folder : Written) {
            const std::string Kept = Scenario.Temp / ("snapshot/" + Folder), Used = Scenario.Temp / Folder;
            fs::remove_all(Restore ? Used : Kept);
            fs::create_directories(Restore ? Used : Kept);
            fs::copy(Restore ? Kept : Used, Restore ? Used : Kept, fs::copy_options::recursive);
        }
        fs::remove(Config.LogFile);
    }

    std::multiset<std::string> MovieContents() const
    {
        std::multiset<std::string> Result;
        for (const auto& Entry : fs::recursive_directory_iterator(Scenario.MovieDir()))
            if (Entry.is_regular_file() && Entry.path().string().find("/@Vantry/") == std::string::npos)
                Result.insert(ReadWholeFile(Entry.path().string()));
        return Result;
    }

    // The run after a kill, journalling as the main window does, and what
    // the two runs must have left: a complete library, every movie file,
    // every rename in the journal and no copy of a save cut short.
    void ExpectRecovered(const std::multiset<std::string>& Contents)
    {
        ++Points;
        RunSynchronisation(Scenario.MovieDir(), true, [](TSynchThread& Worker) {
            Worker.OnLog = [](const std::string& Line) { WriteLog(Line); };
        });
        Scenario.ExpectCompleteLibrary(true);
        EXPECT_EQ(MovieContents(), Contents);
        Strings Log;
        std::ifstream File(Config.LogFile);
        for (std::string Line; std::getline(File, Line);) {
            Log.push_back(Line.substr(Line.find(" | ") + 3));
            EXPECT_TRUE(Log.back().find(" /OK #") != std::string::npos || Scenario.IsNoiseFailure(Log.back()))
                << Line;
        }
        for (const std::string& Wanted : Scenario.RenameLines())
            EXPECT_NE(std::find(Log.begin(), Log.end(), Wanted + "\r"), Log.end()) << Wanted;
        for (const std::string& Folder : Written)
            for (const auto& Entry : fs::recursive_directory_iterator(Scenario.Temp / Folder))
                EXPECT_FALSE(Entry.path().filename().string().starts_with(".vantry-")) << Entry.path();
    }
};

TEST_F(KillTest, EveryKillOfAFirstRunLeavesALibraryTheNextRunCompletes)
{
    Snapshot(false);
    const std::multiset<std::string> Contents = MovieContents();
    RunSynchronisation(Scenario.MovieDir(), true); // tells how many requests a first run sends
    const std::size_t Requests = Scenario.Fake.Requests().size();
    ASSERT_GT(Requests, 10u);

    for (std::size_t Count = 0; Count <= Requests && !HasFailure(); ++Count)
        for (const auto Delay : {0us, 300us, 1000us, 3000us}) {
            SCOPED_TRACE("killed after request " + std::to_string(Count) + " + " +
                         std::to_string(Delay.count()) + " us");
            Snapshot(true);
            const std::size_t Before = Scenario.Fake.Requests().size();
            TDriver Driver(Program, Scenario.MovieDir(), false);
            Scenario.Fake.WaitForRequests(Before + Count, 20s);
            std::this_thread::sleep_for(Delay);
            Killed += Driver.End(true);
            ExpectRecovered(Contents);
        }
    EXPECT_GT(Killed, Points / 2); // most runs really were cut short
}

TEST_F(KillTest, EveryKillOfARenamingRunKeepsEveryLibraryFolderAndJournalsEveryRename)
{
    RunSynchronisation(Scenario.MovieDir(), false);
    const Strings Folders = Scenario.LibraryFolders();
    for (const std::string& Folder : Folders)
        Scenario.Temp.Write("Films/@Vantry/" + Folder + "/mes notes.txt", "à garder");
    Snapshot(false);
    const std::multiset<std::string> Contents = MovieContents();
    int Stops = 0;
    {
        TDriver Whole(Program, Scenario.MovieDir(), true);
        for (; Whole.NextStop(); ++Stops)
            Whole.Go();
        ASSERT_FALSE(Whole.End(false));
    }
    ASSERT_GT(Stops, 10);

    // Killed at each stop, or a little after it went on from there.
    for (int Stop = 0; Stop < Stops && !HasFailure(); ++Stop)
        for (const auto Delay : {-1us, 0us, 500us}) {
            SCOPED_TRACE("killed at stop " + std::to_string(Stop) + " + " + std::to_string(Delay.count()) +
                         " us");
            Snapshot(true);
            TDriver Driver(Program, Scenario.MovieDir(), true);
            for (int Reached = 0; Reached <= Stop && Driver.NextStop(); ++Reached)
                if (Reached < Stop || Delay >= 0us)
                    Driver.Go();
            std::this_thread::sleep_for(std::max(Delay, 0us));
            Killed += Driver.End(true);
            ExpectRecovered(Contents);
            EXPECT_EQ(Scenario.LibraryFolders(), Folders);
            for (const std::string& Folder : Folders)
                EXPECT_EQ(ReadWholeFile(Scenario.Library(Folder) + "/mes notes.txt"), "à garder") << Folder;
            EXPECT_EQ(Scenario.Fake.Count(AllocineApiHost, "/rest/v3/movie"), 3); // nothing fetched again
        }
    EXPECT_GT(Killed, Points / 2);
}

TEST_F(KillTest, ARenameIsJournalledAtOnceEvenWhenTheMovieThenFails)
{
    Scenario.Fake.Default("images.allocine.test", "/medias/*", FakeAnswer::Dropped());
    const Strings Lines = RunSynchronisation(Scenario.MovieDir(), true);
    const std::string Jardin = Scenario.RenameLines()[3];
    const auto Journalled = std::find(Lines.begin(), Lines.end(), Jardin);
    ASSERT_GT(Lines.end() - Journalled, 1) << ::testing::PrintToString(Lines);
    // Its failure follows, under the name the file had.
    EXPECT_TRUE(Journalled[1].starts_with(Jardin.substr(0, Jardin.find(" /OK")) + " /ERROR #12345 > "))
        << Journalled[1];
}

TEST_F(KillTest, ASecondSynchronisationOfAFolderBeingSynchronisedTouchesNothing)
{
    // The driver's search for Alien answers late, so it is still running.
    Scenario.Fake.Answer(AllocineApiHost, "/rest/v3/search",
                         FakeAnswer::Slow(1500ms, ReadWholeFile(SynchData("allocine-search-alien.json"))), 1,
                         "q=alien&");
    const std::multiset<std::string> Contents = MovieContents();
    TDriver Driver(Program, Scenario.MovieDir(), false);
    ASSERT_TRUE(Scenario.Fake.WaitForRequests(1, 20s));

    const Strings Refusal = {
        "[TSynchThread.Execute] Une synchronisation de ce dossier est déjà en cours (\"" +
        Scenario.MovieDir() + "\")"};
    EXPECT_EQ(RunSynchronisation(Scenario.MovieDir(), true), Refusal);
    // Nor may a movie be finished by hand meanwhile; the line names the movie and its code.
    EXPECT_EQ(RunSynchronisation(Scenario.LibraryDir(), true,
                                 [&](TSynchThread& Worker) {
                                     Worker.Mode = ModeAnomalyAllocine;
                                     Worker.Code = 61282;
                                     Worker.Movie = std::make_unique<TMovieInfo>();
                                     Worker.Movie->SetFileName(Scenario.Movie("avatar 2009.avi"));
                                 }),
              Strings{"\"" + Scenario.Movie("avatar 2009.avi") + "\" /ERROR #61282 > " + Refusal[0]});

    ASSERT_FALSE(Driver.End(false));
    Scenario.ExpectCompleteLibrary();
    EXPECT_EQ(MovieContents(), Contents);
}

} // namespace
