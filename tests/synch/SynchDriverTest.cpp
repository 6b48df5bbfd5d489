// The worker as the windows drive it: modes, event order, stop requests, and
// bad input that must end in a logged line, never a crash or a hang.
#include "DDKFiles.h"
#include "SynchRun.h"
#include "SynchScenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

struct SynchDriverTest : ::testing::Test
{
    TSynchScenario Scenario;
    TempFolder& Temp = Scenario.Temp;
    std::string Films = Scenario.MovieDir();
    TQueueDispatcher Dispatcher;

    // Movie files whose anomaly records wait, so the walk sends no request.
    void WaitingMovies(std::initializer_list<std::string> Names)
    {
        for (const std::string& Name : Names) {
            Temp.Write("app/Anomaly/allocine-" + DDKExtractFileName(Name) + ".xml", "<x/>");
            Temp.Write("Films/" + Name);
        }
    }

    // The worker's events as the main thread saw them; Hook runs after each.
    Strings RunOn(const std::string& Folder, const std::function<void(TSynchThread&)>& Setup = {},
                  const std::function<void(TSynchThread&, const std::string&)>& Hook = {})
    {
        Strings Events;
        RunSynchronisation(Folder, false, [&](TSynchThread& Worker) {
            const auto Record = [&](const std::string& Event) {
                EXPECT_TRUE(Dispatcher.OnMainThread()) << Event;
                Events.push_back(Event);
                if (Hook)
                    Hook(Worker, Event);
            };
            Worker.OnProgressMax = [Record](int Value) { Record("max " + std::to_string(Value)); };
            Worker.OnProgress = [Record](int Value) { Record("at " + std::to_string(Value)); };
            Worker.OnLog = [Record](const std::string& Line) { Record("log " + Line); };
            if (Setup)
                Setup(Worker);
        });
        return Events;
    }
};

TEST_F(SynchDriverTest, EventsComeInOrderAndAStopRequestEndsTheWalkBeforeTheNextFile)
{
    WaitingMovies({"a.avi", "B/x.MKV", "z.mkv"});
    Temp.Write("Films/DVDRip XviD.avi"); // nothing to search for: one logged failure
    Temp.Write("Films/notes.txt");
    Temp.Write("Films/@Vantry/A #1/movie.asx", Playlist({Films + "/a.avi"}));
    Temp.Write("Films/@Vantry/B #2/movie.asx", Playlist({}));
    const Strings All = RunOn(Films);
    const auto Failure =
        std::find_if(All.begin(), All.end(), [](const auto& Event) { return Event.starts_with("log "); });
    ASSERT_LT(Failure + 2, All.end()); // not the last movie
    Strings Positions = All;
    Positions.erase(Positions.begin() + (Failure - All.begin()));
    EXPECT_EQ(Positions, (Strings{"max 2", "at 1", "at 2", "max 4", "at 1", "at 2", "at 3", "at 4"}));

    // The worker waits for a log line but not for a position, so only a stop
    // asked at a log line or a maximum falls at a known point.
    const auto StopAt = [](const std::string& Event) {
        return [Event](TSynchThread& Worker, const std::string& Seen) {
            if (Seen.starts_with(Event))
                Worker.Terminate();
        };
    };
    // During a movie file: the file begun is finished, no other starts.
    EXPECT_EQ(RunOn(Films, {}, StopAt("log ")), Strings(All.begin(), Failure + 2));
    // Before the movie files: none is handled.
    EXPECT_EQ(RunOn(Films, {}, StopAt("max 4")), (Strings{"max 2", "at 1", "at 2", "max 4"}));
    // During the playlists: links still checked, folder still walked, no movie handled.
    EXPECT_EQ(RunOn(Films, {}, StopAt("max 2")), (Strings{"max 2", "max 4"}));
}

TEST_F(SynchDriverTest, EachModeCallsBackEvenWithoutWorkAndLeavesNoLibraryMadeForNothing)
{
    // A library made only to be locked goes again when nothing came into it;
    // one the user already had stays, even empty.
    EXPECT_EQ(RunOn(Films), (Strings{"max 0"}));
    EXPECT_FALSE(fs::exists(Films + "/@Vantry"));
    WaitingMovies({"a.avi"}); // a movie that brings nothing into the library
    EXPECT_EQ(RunOn(Films), (Strings{"max 1", "at 1"}));
    EXPECT_FALSE(fs::exists(Films + "/@Vantry"));
    Temp.MakeFolder("Films/@Vantry");
    EXPECT_EQ(RunOn(Films), (Strings{"max 0", "max 1", "at 1"}));
    EXPECT_TRUE(fs::is_directory(Films + "/@Vantry"));
    EXPECT_EQ(RunOn(Films, [](TSynchThread& Worker) { Worker.Mode = 3; }), Strings{});
    for (const std::uint8_t Mode : {ModeAnomalyAllocine, ModeAnomalyTmdb})
        EXPECT_EQ(RunOn(Films, [Mode](TSynchThread& Worker) { Worker.Mode = Mode; }),
                  (Strings{"log [TSynchThread.Execute] No movie record to finish"}));
}

TEST_F(SynchDriverTest, BadInputEndsInOneLoggedLine)
{
    // A playlist that is not XML ends the run with one line, or quietly if even that fails.
    Temp.Write("Films/@Vantry/A #1/movie.asx", "not xml at all");
    WaitingMovies({"a.avi"});
    const Strings Events = RunOn(Films);
    ASSERT_EQ(Events.size(), 2u);
    EXPECT_EQ(Events[0], "max 1");
    EXPECT_TRUE(Events[1].starts_with("log [TSynchThread.Execute] ")) << Events[1];
    const auto FailingLog = [](TSynchThread& Worker) {
        Worker.OnLog = [](const std::string&) { throw std::runtime_error("log file locked"); };
    };
    EXPECT_EQ(RunOn(Films, FailingLog), (Strings{"max 1"}));

    // A path that is not UTF-8, a link loop, a library folder that is a file: the run goes on.
    fs::remove_all(Films + "/@Vantry");
    Temp.Write("Films/@Vantry/B #2/movie.asx", Playlist({Films + "/\xE9t\xE9.avi"}));
    Temp.Write("Films/@Vantry/B #2/allocine.json", "{}");
    fs::create_directory_symlink(Films, Films + "/loop");
    EXPECT_EQ(RunOn(Films), (Strings{"max 1", "at 1", "max 1", "at 1"}));
    EXPECT_FALSE(fs::exists(Films + "/@Vantry/B #2"));
    fs::remove_all(Films + "/@Vantry");
    Temp.Write("Films/@Vantry", "a file");
    EXPECT_EQ(RunOn(Films), (Strings{"max 1", "at 1"}));
}

} // namespace
