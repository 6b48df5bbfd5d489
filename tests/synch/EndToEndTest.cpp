// Whole synchronisations against the fake services, and the runs with nothing to do.
#include "SynchRun.h"
#include "SynchScenario.h"

#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// Size, change time and inode per file: two looks tell whether anything was written.
using TTreeState = std::map<std::string, std::tuple<std::uintmax_t, std::int64_t, std::uint64_t>>;
void ReadTreeState(const std::string& Folder, TTreeState& State)
{
    std::error_code Error;
    for (fs::recursive_directory_iterator It(Folder, Error), End; !Error && It != End; It.increment(Error)) {
        struct stat Status = {};
        if (::lstat(It->path().c_str(), &Status) == 0)
            State[It->path().string()] = {
                Status.st_size, Status.st_ctim.tv_sec * 1000000000 + Status.st_ctim.tv_nsec, Status.st_ino};
    }
}

struct EndToEndTest : ::testing::Test
{
    TSynchScenario Scenario;

    void SetUp() override
    {
        Scenario.CreateMovieFiles();
        Scenario.ScriptServices();
    }

    std::string Library(const std::string& Name) const { return Scenario.Library(Name); }
    std::string Movie(const std::string& Name) const { return Scenario.Movie(Name); }
    std::size_t RequestCount() const { return Scenario.Fake.Requests().size(); }

    void ExpectOnlyNoiseFailure(const Strings& Lines) const
    {
        ASSERT_EQ(Lines.size(), 1u) << ::testing::PrintToString(Lines);
        EXPECT_TRUE(Scenario.IsNoiseFailure(Lines[0])) << Lines[0];
    }

    // No request, no file written, only the line of the file never searchable.
    void ExpectQuietRun(bool RenameFiles)
    {
        const auto WrittenState = [this] {
            TTreeState State;
            for (const std::string& Folder :
                 {Scenario.MovieDir(), Scenario.DvdInfoCacheDir(), Config.AnomalyDir, Config.CacheDir})
                ReadTreeState(Folder, State);
            return State;
        };
        const std::size_t Before = RequestCount();
        const TTreeState State = WrittenState();
        ExpectOnlyNoiseFailure(RunSynchronisation(Scenario.MovieDir(), RenameFiles));
        EXPECT_EQ(RequestCount(), Before);
        EXPECT_EQ(WrittenState(), State);
    }
};

TEST_F(EndToEndTest, FirstRunFillsTheLibraryRenamingFollowsAndTheNextRunsDoNothing)
{
    ExpectOnlyNoiseFailure(RunSynchronisation(Scenario.MovieDir(), false));
    Scenario.ExpectCompleteLibrary();
    EXPECT_EQ(PlaylistEntries(Library(AlienDir) + "/movie.asx"),
              (Strings{Movie("Alien [CD1].avi"), Movie("Alien [CD2].avi")}));
    for (const char* Record : {"/allocine-DVDRip XviD.avi.json", "/tmdb-12345.json"})
        EXPECT_FALSE(fs::exists(Config.AnomalyDir + Record)) << Record;
    EXPECT_EQ(ReadWholeFile(Config.CacheDir + "/allocine-61282.jpg"), "thumbnail"); // the ambiguous search's
    // One search per word list; the second part borrowed its first part's answer.
    EXPECT_EQ(RequestCount(), 16u);
    // Every request, to the services and picture servers alike, names the browser AlloCine expects.
    for (const FakeRequest& Request : Scenario.Fake.Requests())
        EXPECT_EQ(Request.Header("User-Agent"),
                  "Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.2; Trident/6.0; MSAppHost/1.0)")
            << Request.Host << Request.Path;
    ExpectQuietRun(false);

    Strings Journal = RunSynchronisation(Scenario.MovieDir(), true);
    std::erase_if(Journal, [](const std::string& Line) { return Line.find(" /OK #") == std::string::npos; });
    std::sort(Journal.begin(), Journal.end()); // the walk's order follows the locale
    EXPECT_EQ(Journal, Scenario.RenameLines());
    const std::string AlienName =
        "Alien, le huitième passager (Alien) (09-1979) (Ridley Scott) (Science fiction, Épouvante-horreur)";
    EXPECT_EQ(ReadWholeFile(Movie("Divers/Amélie Nino Paris (2001) () #3003.mkv")), "movie 3003");
    EXPECT_EQ(PlaylistEntries(Library(AlienDir) + "/movie.asx"),
              (Strings{Movie(AlienName + " [CD1] #2001.avi"), Movie(AlienName + " [CD2] #2001.avi")}));
    EXPECT_EQ(Scenario.LibraryFolders(), (Strings{AlienDir, AmelieDir, JardinDir}));
    ExpectQuietRun(true);
}

TEST_F(EndToEndTest, MissingEmptyOrSpecialFilesAreMadeGoodOrLeftWithoutHoldingTheRun)
{
    RunSynchronisation(Scenario.MovieDir(), false);
    const std::string Jardin = Library(JardinDir), Alien = Library(AlienDir);
    for (const std::string& File : {Jardin + "/folder.jpg", Jardin + "/backdrop.jpg"})
        fs::resize_file(File, 0);
    for (const std::string& File : {Jardin + "/fanart.jpg", Jardin + "/movie.nfo", Alien + "/folder.jpg"})
        fs::remove(File);
    const std::size_t Before = RequestCount();
    RunSynchronisation(Scenario.MovieDir(), false);
    // Only the poster is fetched again: "tmdb.json" ends the backdrop step.
    EXPECT_EQ(RequestCount(), Before + 1);
    EXPECT_EQ(ReadWholeFile(Jardin + "/folder.jpg"), ReadWholeFile(SynchData("poster-12345.jpg")));
    EXPECT_FALSE(fs::exists(Jardin + "/backdrop.jpg"));
    EXPECT_EQ(ReadWholeFile(Jardin + "/fanart.jpg"), "");
    EXPECT_TRUE(fs::exists(Jardin + "/movie.nfo"));
    EXPECT_EQ(ReadWholeFile(Alien + "/folder.jpg"), std::string(VantryResource_nofolder600()));

    // Pipes named like our files: each movie with one says so, and they stay.
    const std::string Pipes[] = {Jardin + "/movie.asx", Alien + "/allocine.json",
                                 Library(AmelieDir) + "/folder.jpg"};
    for (const std::string& Pipe : Pipes) {
        fs::remove(Pipe);
        ASSERT_EQ(::mkfifo(Pipe.c_str(), 0600), 0);
    }
    const Strings Lines = RunSynchronisation(Scenario.MovieDir(), false, {}, std::chrono::seconds(20));
    EXPECT_EQ(CountHolding(Lines, "n'est pas un fichier ordinaire"), 4) << ::testing::PrintToString(Lines);
    for (const std::string& Pipe : Pipes)
        EXPECT_TRUE(fs::is_fifo(Pipe)) << Pipe;
}

TEST_F(EndToEndTest, CopiesLeftByAStoppedSaveGoAtTheNextRun)
{
    RunSynchronisation(Scenario.MovieDir(), false);
    const pid_t Ended = ::fork();
    if (Ended == 0)
        ::_exit(0);
    ::waitpid(Ended, nullptr, 0);
    Strings Copies;
    for (const std::string& Folder : {Library(JardinDir), Scenario.LibraryDir(), Config.AnomalyDir,
                                      Config.CacheDir, Scenario.DvdInfoCacheDir()})
        Copies.push_back(Scenario.Temp.Write(Folder + "/.vantry-" + std::to_string(Ended) + "-7.tmp"));
    const std::string Running =
        Scenario.Temp.Write(Config.AnomalyDir + "/.vantry-" + std::to_string(::getpid()) + "-7.tmp");

    RunSynchronisation(Scenario.MovieDir(), false);
    for (const std::string& Copy : Copies)
        EXPECT_FALSE(fs::exists(Copy)) << Copy;
    EXPECT_TRUE(fs::exists(Running)); // its process may still rename it
}

TEST_F(EndToEndTest, ADvdInfoCacheFolderRemovedDuringARunIsMadeAgain)
{
    // The file never searchable comes after Alien and before the Jardin in
    // the walk: its line is where the user takes the folder away.
    const Strings Lines = RunSynchronisation(Scenario.MovieDir(), false, [this](TSynchThread& Worker) {
        Worker.OnLog = [this](const std::string& Line) {
            EXPECT_TRUE(Scenario.IsNoiseFailure(Line)) << Line;
            EXPECT_TRUE(fs::exists(Scenario.DvdInfoCacheDir() + "/2001.xml"));
            fs::remove_all(Scenario.DvdInfoCacheDir());
        };
    });
    EXPECT_GT(fs::file_size(Scenario.DvdInfoCacheDir() + "/12345.xml"), 0u);
    EXPECT_EQ(ReadWholeFile(Library(JardinDir) + "/folder.jpg"),
              ReadWholeFile(SynchData("poster-12345.jpg")));
    EXPECT_EQ(ReadWholeFile(Library(JardinDir) + "/backdrop.jpg"),
              ReadWholeFile(SynchData("backdrop-garden.jpg")));
}

TEST_F(EndToEndTest, TwoFilesWhoseNamesDifferOnlyInCaseKeepTheirOwnMovies)
{
    // Each playlist names its own file; the one of "alpha.avi" is read first.
    fs::remove_all(Scenario.MovieDir());
    Scenario.Temp.Write("Films/Alpha.avi", "movie 12345");
    Scenario.Temp.Write("Films/alpha.avi", "movie 3003");
    for (const auto& [Dir, Answer, File] : std::vector<std::array<std::string, 3>>{
             {JardinDir, AnswerData("allocine-movie-12345.json"), "Alpha.avi"},
             {AmelieDir, SynchData("allocine-movie-3003.json"), "alpha.avi"}}) {
        Scenario.Temp.Write(Library(Dir) + "/allocine.json", ReadWholeFile(Answer));
        Scenario.Temp.Write(Library(Dir) + "/movie.asx", Playlist({Movie(File)}));
    }
    const std::string Jardin =
        "Le Jardin oublié (The Lost Garden) (10-1972) (Éric Rohmer) (Drame, Comédie) #12345.avi";
    const std::string Amelie = "Amélie Nino Paris (2001) () #3003.avi";
    for (int Run = 0; Run < 2; ++Run) {
        EXPECT_EQ(RunSynchronisation(Scenario.MovieDir(), true).size(), Run == 0 ? 2u : 0u) << Run;
        EXPECT_EQ(ReadWholeFile(Movie(Jardin)), "movie 12345") << Run;
        EXPECT_EQ(ReadWholeFile(Movie(Amelie)), "movie 3003") << Run;
        EXPECT_EQ(PlaylistEntries(Library(JardinDir) + "/movie.asx"), Strings{Movie(Jardin)}) << Run;
        EXPECT_EQ(PlaylistEntries(Library(AmelieDir) + "/movie.asx"), Strings{Movie(Amelie)}) << Run;
    }
}

TEST_F(EndToEndTest, ATmdbRecordReadIsKeptWhenItsPictureFails)
{
    Scenario.Fake.Default(TmdbImageHost, "/t/p/original/*", FakeAnswer::Dropped());
    Strings Lines = RunSynchronisation(Scenario.MovieDir(), false);
    EXPECT_EQ(ReadWholeFile(Library(JardinDir) + "/tmdb.json"),
              ReadWholeFile(SynchData("tmdb-movie-4242.json")));
    // The picture's failure, and the file never searchable.
    std::erase_if(Lines, [this](const std::string& Line) { return Scenario.IsNoiseFailure(Line); });
    ASSERT_EQ(Lines.size(), 1u) << ::testing::PrintToString(Lines);
    EXPECT_NE(Lines[0].find(" /ERROR #12345 > [TSynchThread.SaveMovieInfo] [TSynchThread.SaveBackdrop] "),
              std::string::npos);
    // The next run searches TMDb no more.
    const int Searches = Scenario.Fake.Count(TmdbApiHost, "/3/search/movie");
    RunSynchronisation(Scenario.MovieDir(), false);
    EXPECT_EQ(Scenario.Fake.Count(TmdbApiHost, "/3/search/movie"), Searches);
}

TEST_F(EndToEndTest, ResolvedAnomaliesFinishTheirMovie)
{
    RunSynchronisation(Scenario.MovieDir(), false);
    const auto Resolve = [this](std::uint8_t Mode, std::int32_t Code, std::unique_ptr<TMovieInfo> Record) {
        return RunSynchronisation(Scenario.LibraryDir(), false, [&](TSynchThread& Worker) {
            std::tie(Worker.Mode, Worker.Code) = std::tie(Mode, Code);
            Worker.Movie = std::move(Record);
        });
    };
    // The user chose AlloCine's movie 61282 for "avatar 2009.avi".
    auto Avatar = std::make_unique<TMovieInfo>();
    Avatar->SetFileName(Movie("avatar 2009.avi"));
    EXPECT_EQ(Resolve(ModeAnomalyAllocine, 61282, std::move(Avatar)), Strings{});
    const std::string AvatarDir = Library("Avatar (2009) #61282");
    EXPECT_EQ(ReadWholeFile(AvatarDir + "/allocine.json"),
              ReadWholeFile(SynchData("allocine-movie-61282.json")));
    EXPECT_EQ(PlaylistEntries(AvatarDir + "/movie.asx"), Strings{Movie("avatar 2009.avi")});
    // TMDb's result with the same title wins over those with other dates.
    EXPECT_EQ(ReadWholeFile(AvatarDir + "/tmdb.json"), ReadWholeFile(AnswerData("tmdb-movie-19995.json")));

    // The user chose TMDb's movie 19995 for Alien's backdrop.
    auto Alien = std::make_unique<TMovieInfo>();
    TMetadata().ReadFicheAcFile(Library(AlienDir) + "/allocine.json", *Alien);
    Alien->MovieDir = Library(AlienDir);
    EXPECT_EQ(Resolve(ModeAnomalyTmdb, 19995, std::move(Alien)), Strings{});
    EXPECT_EQ(ReadWholeFile(Library(AlienDir) + "/tmdb.json"),
              ReadWholeFile(AnswerData("tmdb-movie-19995.json")));
    EXPECT_EQ(ReadWholeFile(Library(AlienDir) + "/backdrop.jpg"),
              ReadWholeFile(SynchData("backdrop-garden.jpg")));
}

} // namespace
