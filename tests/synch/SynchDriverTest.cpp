// The worker as the windows drive it: the two folders, each mode through the
// dispatcher, the events on the main thread in order, the stop request, and
// bad input that must end in a logged line rather than a crash or a hang.
#include "DDKFiles.h"
#include "FakeServices.h"
#include "QueueDispatcher.h"
#include "ServiceSettings.h"
#include "TempFolder.h"
#include "UnitConfig.h"
#include "UnitThread.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

struct SynchDriverTest : ::testing::Test
{
    TempFolder Temp;
    TQueueDispatcher Dispatcher;
    std::string Films = Temp.MakeFolder("Films");
    TConfig SavedConfig = Config;

    SynchDriverTest() { Config.AnomalyDir = Temp.MakeFolder("Anomaly"); }
    ~SynchDriverTest() override { Config = SavedConfig; }

    // Movie files whose AlloCine anomaly records wait: the walk leaves them
    // alone without a request.
    void WaitingMovies(std::initializer_list<std::string> Names)
    {
        for (const std::string& Name : Names) {
            Temp.Write("Anomaly/allocine-" + DDKExtractFileName(Name) + ".xml", "<x/>");
            Temp.Write("Films/" + Name);
        }
    }

    // Runs a worker on Folder, after Setup, to its end; returns its events as
    // the main thread saw them. Hook runs there after each event.
    Strings RunOn(const std::string& Folder, const std::function<void(TSynchThread&)>& Setup = {},
                  const std::function<void(TSynchThread&, const std::string&)>& Hook = {})
    {
        Strings Events;
        bool Ended = false;
        auto* Worker = new TSynchThread(Dispatcher);
        const auto Record = [&, Worker](const std::string& Event) {
            EXPECT_TRUE(Dispatcher.OnMainThread()) << Event;
            Events.push_back(Event);
            if (Hook)
                Hook(*Worker, Event);
        };
        Worker->OnProgressMax = [Record](int Value) { Record("max " + std::to_string(Value)); };
        Worker->OnProgress = [Record](int Value) { Record("at " + std::to_string(Value)); };
        Worker->OnLog = [Record](const std::string& Line) { Record("log " + Line); };
        Worker->OnTerminate = [&](TWorkerThread*) { Ended = Dispatcher.OnMainThread(); };
        Worker->SetFolder(Folder);
        if (Setup)
            Setup(*Worker);
        Worker->Start();
        if (!Dispatcher.PumpUntil([&Ended] { return Ended; })) {
            ADD_FAILURE() << "the worker never ended, or not on the main thread";
            std::abort(); // it still refers to this test's data
        }
        TWorkerThread::WaitForAllWorkers();
        return Events;
    }
};

TEST_F(SynchDriverTest, SetFolderDerivesTheMovieFolderAndItsLibraryOrRefusesBadOnes)
{
    Temp.MakeFolder("Films/@vantry");
    TSynchThread Worker(Dispatcher);
    for (const auto& [Folder, Root, Library] : std::vector<std::array<std::string, 3>>{
             {Films + "/@vantry/", Films, Films + "/@vantry"}, // the letter case passed
             {"/", "/", "/@Vantry"},
         }) {
        Worker.SetFolder(Folder);
        EXPECT_EQ(Worker.RootDir(), Root) << Folder;
        EXPECT_EQ(Worker.LibraryDir(), Library) << Folder;
    }
    Worker.SetFolder(Films);
    for (const std::string& Bad : {std::string(), Films + "/missing", Temp.Write("Films/file.avi")}) {
        try {
            Worker.SetFolder(Bad);
            ADD_FAILURE() << "accepted " << Bad;
        } catch (const std::exception& Error) {
            EXPECT_STREQ(Error.what(), "Veuillez sélectionner un dossier valide pour la synchronisation");
        }
        EXPECT_EQ(Worker.LibraryDir(), Films + "/@Vantry");
    }
}

TEST_F(SynchDriverTest, AFullRunReportsPlaylistsThenMovieFilesInOrder)
{
    WaitingMovies({"a.avi", "B/x.MKV", "c.mkv"});
    Temp.Write("Films/notes.txt");
    Temp.Write("Films/@Vantry/A #1/movie.asx", "<asx version=\"3.0\"><entry><title>A</title><ref href=\"" +
                                                   Films + "/a.avi\"/></entry></asx>");
    EXPECT_EQ(RunOn(Films), (Strings{"max 1", "at 1", "max 3", "at 1", "at 2", "at 3"}));
}

TEST_F(SynchDriverTest, AStopRequestEndsTheWalkBeforeTheNextFile)
{
    WaitingMovies({"a.avi", "b.avi", "c.avi"});
    Temp.Write("Films/@Vantry/A #1/movie.asx", "<asx version=\"3.0\"></asx>");
    Temp.Write("Films/@Vantry/B #2/movie.asx", "<asx version=\"3.0\"></asx>");
    const auto StopAt = [](int Maxima) {
        return [Maxima, Seen = 0](TSynchThread& Worker, const std::string& Event) mutable {
            Seen += Event.starts_with("max");
            if (Seen == Maxima && Event == "at 1")
                Worker.Terminate();
        };
    };
    // During the movie files: the file begun is finished, no other starts.
    EXPECT_EQ(RunOn(Films, {}, StopAt(2)), (Strings{"max 2", "at 1", "at 2", "max 3", "at 1"}));
    // During the playlists: the links are still checked and the folder still
    // walked, but no movie file is handled.
    EXPECT_EQ(RunOn(Films, {}, StopAt(1)), (Strings{"max 2", "at 1", "max 3"}));
    EXPECT_EQ(RunOn(Films, [](TSynchThread& Worker) { Worker.Terminate(); }), (Strings{"max 2", "max 3"}));
}

TEST_F(SynchDriverTest, EachModeCallsBackEvenWithoutWork)
{
    EXPECT_EQ(RunOn(Films), (Strings{"max 0"}));
    EXPECT_EQ(RunOn(Films, [](TSynchThread& Worker) { Worker.Mode = 3; }), Strings{});
    for (const std::uint8_t Mode : {ModeAnomalyAllocine, ModeAnomalyTmdb})
        EXPECT_EQ(RunOn(Films, [Mode](TSynchThread& Worker) { Worker.Mode = Mode; }),
                  (Strings{"log [TSynchThread.Execute] No movie record to finish"}));

    // An unknown TMDb record: its empty answer is kept, then fails to read.
    FakeServices Fake;
    Fake.Default(TmdbApiHost, "/3/movie/*", FakeAnswer::Status(404));
    const std::string MovieDir = Temp.MakeFolder("Films/@Vantry/Film #1");
    const Strings Events = RunOn(Films + "/@Vantry", [&MovieDir](TSynchThread& Worker) {
        Worker.Mode = ModeAnomalyTmdb;
        Worker.Code = 4242;
        Worker.Movie = std::make_unique<TMovieInfo>();
        Worker.Movie->MovieDir = MovieDir;
    });
    ASSERT_EQ(Events.size(), 1u);
    EXPECT_TRUE(Events[0].starts_with("log [TSynchThread.Execute] [TSynchThread.SaveBackdrop] "))
        << Events[0];
    EXPECT_EQ(Fake.Count(TmdbApiHost, "/3/movie/4242"), 1);
    EXPECT_TRUE(fs::exists(MovieDir + "/tmdb.json"));
}

TEST_F(SynchDriverTest, BadInputEndsInOneLoggedLine)
{
    // A playlist that is not XML ends the whole run with one line; when even
    // that line cannot be delivered, the job ends quietly.
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

    // A playlist naming a path that is not UTF-8, a link loop in the movie
    // folder, a library folder that is a file: the run goes through.
    fs::remove_all(Films + "/@Vantry");
    Temp.Write("Films/@Vantry/B #2/movie.asx", "<asx version=\"3.0\"><entry><title>B</title><ref href=\"" +
                                                   Films + "/\xE9t\xE9.avi\"/></entry></asx>");
    fs::create_directory_symlink(Films, Films + "/loop");
    EXPECT_EQ(RunOn(Films), (Strings{"max 1", "at 1", "max 1", "at 1"}));
    EXPECT_FALSE(fs::exists(Films + "/@Vantry/B #2"));
    fs::remove_all(Films + "/@Vantry");
    Temp.Write("Films/@Vantry", "a file");
    EXPECT_EQ(RunOn(Films), (Strings{"max 1", "at 1"}));
}

} // namespace
