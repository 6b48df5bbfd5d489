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

const char* const BadFolder = "Veuillez sélectionner un dossier valide pour la synchronisation";

struct SynchDriverTest : ::testing::Test
{
    TempFolder Temp;
    TQueueDispatcher Dispatcher;
    std::string Films = Temp.MakeFolder("Films");
    TConfig SavedConfig = Config;

    SynchDriverTest() { Config.AnomalyDir = Temp.MakeFolder("Anomaly"); }
    ~SynchDriverTest() override { Config = SavedConfig; }

    // A movie file whose AlloCine anomaly record waits: the walk leaves it
    // alone without a request.
    std::string WaitingMovie(const std::string& Name)
    {
        Temp.Write("Anomaly/allocine-" + DDKExtractFileName(Name) + ".xml", "<x/>");
        return Temp.Write("Films/" + Name);
    }

    using TSetup = std::function<void(TSynchThread&)>;
    using THook = std::function<void(TSynchThread&, const std::string&)>;

    // Runs a worker on Folder, after Setup, to its end; returns its events as
    // the main thread saw them. Hook runs there after each event.
    std::vector<std::string> RunOn(const std::string& Folder, const TSetup& Setup = {},
                                   const THook& Hook = {})
    {
        std::vector<std::string> events;
        bool ended = false;
        auto* worker = new TSynchThread(Dispatcher);
        const auto record = [&, worker](const std::string& Event) {
            EXPECT_TRUE(Dispatcher.OnMainThread()) << Event;
            events.push_back(Event);
            if (Hook)
                Hook(*worker, Event);
        };
        worker->OnProgressMax = [record](int Value) { record("max " + std::to_string(Value)); };
        worker->OnProgress = [record](int Value) { record("at " + std::to_string(Value)); };
        worker->OnLog = [record](const std::string& Line) { record("log " + Line); };
        worker->OnTerminate = [&](TWorkerThread*) {
            EXPECT_TRUE(Dispatcher.OnMainThread());
            ended = true;
        };
        worker->SetFolder(Folder);
        if (Setup)
            Setup(*worker);
        worker->Start();
        if (!Dispatcher.PumpUntil([&ended] { return ended; })) {
            ADD_FAILURE() << "the worker never ended";
            std::abort(); // it still refers to this test's data
        }
        TWorkerThread::WaitForAllWorkers();
        return events;
    }
};

using Strings = std::vector<std::string>;

TEST_F(SynchDriverTest, SetFolderDerivesTheMovieFolderAndItsLibrary)
{
    Temp.MakeFolder("Films/@vantry");
    TSynchThread worker(Dispatcher);
    struct Case
    {
        std::string Folder, Root, Library;
    };
    for (const Case& c : std::vector<Case>{
             {Films, Films, Films + "/@Vantry"},
             {Films + "/", Films, Films + "/@Vantry"},
             {Films + "/@vantry", Films, Films + "/@vantry"}, // the letter case passed
             {Films + "/@vantry/", Films, Films + "/@vantry"},
             {"/", "/", "/@Vantry"},
         }) {
        SCOPED_TRACE(c.Folder);
        worker.SetFolder(c.Folder);
        EXPECT_EQ(worker.RootDir(), c.Root);
        EXPECT_EQ(worker.LibraryDir(), c.Library);
    }

    worker.SetFolder(Films);
    for (const std::string& bad : {std::string(), Films + "/missing", Temp.Write("Films/file.avi")}) {
        SCOPED_TRACE(bad);
        try {
            worker.SetFolder(bad);
            ADD_FAILURE() << "accepted";
        } catch (const std::exception& error) {
            EXPECT_STREQ(error.what(), BadFolder);
        }
        EXPECT_EQ(worker.RootDir(), Films);
        EXPECT_EQ(worker.LibraryDir(), Films + "/@Vantry");
    }
}

TEST_F(SynchDriverTest, AFullRunReportsPlaylistsThenMovieFilesInOrder)
{
    const std::string a = WaitingMovie("a.avi");
    WaitingMovie("B/x.MKV");
    WaitingMovie("c.mkv");
    Temp.Write("Films/notes.txt");
    Temp.Write("Films/@Vantry/A #1/movie.asx",
               "<asx version=\"3.0\"><entry><title>A</title><ref href=\"" + a + "\"/></entry></asx>");

    EXPECT_EQ(RunOn(Films), (Strings{"max 1", "at 1", "max 3", "at 1", "at 2", "at 3"}));
}

TEST_F(SynchDriverTest, AStopRequestEndsTheWalkBeforeTheNextFile)
{
    WaitingMovie("a.avi");
    WaitingMovie("b.avi");
    WaitingMovie("c.avi");
    Temp.Write("Films/@Vantry/A #1/movie.asx", "<asx version=\"3.0\"></asx>");
    Temp.Write("Films/@Vantry/B #2/movie.asx", "<asx version=\"3.0\"></asx>");

    // During the movie files: the file begun is finished, no other starts.
    int maxima = 0;
    const auto stopAtFirstFile = [&maxima](TSynchThread& Worker, const std::string& Event) {
        if (Event.starts_with("max"))
            ++maxima;
        else if (maxima == 2 && Event == "at 1")
            Worker.Terminate();
    };
    EXPECT_EQ(RunOn(Films, {}, stopAtFirstFile), (Strings{"max 2", "at 1", "at 2", "max 3", "at 1"}));

    // During the playlists: the links are still checked and the folder still
    // walked, but no movie file is handled.
    const auto stopAtFirstPlaylist = [](TSynchThread& Worker, const std::string& Event) {
        if (Event == "at 1")
            Worker.Terminate();
    };
    EXPECT_EQ(RunOn(Films, {}, stopAtFirstPlaylist), (Strings{"max 2", "at 1", "max 3"}));

    // Before the start: nothing is read or handled, the walks still report.
    EXPECT_EQ(RunOn(Films, [](TSynchThread& Worker) { Worker.Terminate(); }), (Strings{"max 2", "max 3"}));
}

TEST_F(SynchDriverTest, ModesWithoutWorkStillCallBack)
{
    // An empty movie folder, an unknown mode, and the single-movie modes
    // without their movie record.
    EXPECT_EQ(RunOn(Films), (Strings{"max 0"}));
    EXPECT_EQ(RunOn(Films, [](TSynchThread& Worker) { Worker.Mode = 3; }), Strings{});
    for (const std::uint8_t mode : {ModeAnomalyAllocine, ModeAnomalyTmdb})
        EXPECT_EQ(RunOn(Films, [mode](TSynchThread& Worker) { Worker.Mode = mode; }),
                  (Strings{"log [TSynchThread.Execute] No movie record to finish"}));
}

TEST_F(SynchDriverTest, ASingleMovieWorkerFinishesItsRecordAndFreesIt)
{
    // The TMDb record is unknown: its empty answer is kept, then fails to read.
    FakeServices fake;
    fake.Default(TmdbApiHost, "/3/movie/*", FakeAnswer::Status(404));
    const std::string movieDir = Temp.MakeFolder("Films/@Vantry/Film #1");
    const Strings events = RunOn(Films + "/@Vantry", [&movieDir](TSynchThread& Worker) {
        Worker.Mode = ModeAnomalyTmdb;
        Worker.Code = 4242;
        Worker.Movie = std::make_unique<TMovieInfo>();
        Worker.Movie->MovieDir = movieDir;
    });
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events[0].starts_with("log [TSynchThread.Execute] [TSynchThread.SaveBackdrop] "))
        << events[0];
    EXPECT_EQ(fake.Count(TmdbApiHost, "/3/movie/4242"), 1);
    EXPECT_TRUE(fs::exists(movieDir + "/tmdb.json"));
}

TEST_F(SynchDriverTest, BadInputEndsInOneLoggedLine)
{
    // A playlist that is not XML ends the whole run with one line; when even
    // that line cannot be delivered, the job ends quietly.
    Temp.Write("Films/@Vantry/A #1/movie.asx", "not xml at all");
    WaitingMovie("a.avi");
    const Strings events = RunOn(Films);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], "max 1");
    EXPECT_TRUE(events[1].starts_with("log [TSynchThread.Execute] ")) << events[1];
    const auto failingLog = [](TSynchThread& Worker) {
        Worker.OnLog = [](const std::string&) { throw std::runtime_error("log file locked"); };
    };
    EXPECT_EQ(RunOn(Films, failingLog), (Strings{"max 1"}));

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
