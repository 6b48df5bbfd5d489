// The anomaly walks of the main window, end to end: a synchronisation leaves
// records, the user answers each one in the anomaly window, and single-movie
// workers finish the movies in the background.
#include "MainWindowFixture.h"

#include "DDKFiles.h"
#include "DDKStrings.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QTimer>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/file.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct AnomalyWalkTest : MainWindowTest
{
    using TAnswer = std::function<void(TFormAnomaly&)>;

    // Synchronises the scenario's folder through the window, leaving two
    // AlloCine and two TMDb records.
    void Synchronise()
    {
        Scenario.CreateMovieFiles();
        Scenario.ScriptServices();
        Open();
        StartIn(Scenario.MovieDir());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !Prompts.Texts("Message").empty(); }, 60000));
        ASSERT_EQ(Prompts.Texts("Message"), Strings{"Synchronisation terminée"});
        Prompts.Reset();
        Find<QPlainTextEdit>("MemoLog")->clear();
    }

    // Clicks the anomaly button Name; each showing of the anomaly window is
    // answered by the next of Answers.
    void Walk(const char* Name, std::deque<TAnswer> Answers)
    {
        WalkBy([&] { Click(Name); }, std::move(Answers));
    }
    void WalkBy(const std::function<void()>& Start, std::deque<TAnswer> Answers)
    {
        struct TShowCounter : QObject
        {
            int Count = 0;
            bool eventFilter(QObject*, QEvent* Event) override
            {
                Count += Event->type() == QEvent::Show;
                return false;
            }
        } Showings;
        FormAnomaly->installEventFilter(&Showings);
        int Answered = 0;
        QTimer Driver;
        QObject::connect(&Driver, &QTimer::timeout, [&] {
            if (Answered == Showings.Count || Answers.empty() || !FormAnomaly->isVisible())
                return;
            ++Answered;
            TAnswer Answer = std::move(Answers.front());
            Answers.pop_front();
            Answer(*FormAnomaly);
        });
        Driver.start(5);
        Start();
        FormAnomaly->removeEventFilter(&Showings);
        EXPECT_TRUE(Answers.empty()) << Answers.size() << " answers left: fewer records were shown";
        EXPECT_EQ(Answered, Showings.Count) << "a record was shown that the test did not expect";
    }

    static TAnswer Press(const char* Button)
    {
        return [Button](TFormAnomaly& Window) {
            QTest::mouseClick(Window.findChild<QWidget*>(Button), Qt::LeftButton);
        };
    }

    std::string Record(const std::string& Name) const { return Config.AnomalyDir + "/" + Name; }
    // A record written by hand, "allocine-<Index>.json", for the file File of
    // the library McDir, whose one result is AlloCine's movie 61282.
    void WriteAllocineRecord(int Index, const std::string& File, const std::string& McDir) const
    {
        Scenario.Temp.Write(
            DDKFormat("app/Anomaly/allocine-%d.json", Index),
            nlohmann::json{
                {"feed",
                 {{"movie", {{{"code", 61282}, {"title", "Avatar"}}}}, {"filename", File}, {"mcdir", McDir}}}}
                .dump());
    }
    std::string Log() const { return Find<QPlainTextEdit>("MemoLog")->toPlainText().toStdString(); }
    std::vector<std::string> LogLines() const
    {
        std::vector<std::string> Lines;
        for (const QString& Line : Find<QPlainTextEdit>("MemoLog")->toPlainText().split('\n'))
            Lines.push_back(Line.toStdString());
        return Lines;
    }
    static int EntryCount(const std::string& Folder)
    {
        return int(std::distance(fs::directory_iterator(Folder), fs::directory_iterator()));
    }
};

TEST_F(AnomalyWalkTest, AlloCineRecordsAreResolvedByAChosenResultOrLeftUnfound)
{
    Synchronise();
    const std::string Avatar = Record("allocine-avatar 2009.avi.json");
    const std::string Evades = Record("allocine-Les Évadés.avi.json");
    ASSERT_TRUE(fs::exists(Avatar) && fs::exists(Evades));

    // "avatar 2009.avi" comes first (names sorted without regard to case):
    // its first result, selected as the window opens, is AlloCine's movie
    // 61282. "Les Évadés" is not findable, and the code typed is no number:
    // nothing starts for it.
    Prompts.InputAnswers = {"douze"};
    Walk("BtAnoAllocine", {Press("BtOK"), Press("BtUnfound")});
    EXPECT_EQ(Prompts.Calls.back(),
              (TScriptedPrompts::TCall{"InputBox", "Quel code pour ce fichier ?", "Les Évadés.avi"}));
    EXPECT_FALSE(fs::exists(Evades));

    // The buttons wait for the worker, then count again.
    EXPECT_FALSE(Enabled("BtStart"));
    EXPECT_FALSE(Enabled("BtAnoTmdb"));
    WaitUntilIdle();
    EXPECT_FALSE(fs::exists(Avatar));
    EXPECT_EQ(Caption("BtAnoAllocine"), "Traiter les anomalies Allociné (0)");
    EXPECT_FALSE(Enabled("BtAnoAllocine"));
    const std::string AvatarDir = Scenario.Library("Avatar (2009) #61282");
    EXPECT_EQ(ReadWholeFile(AvatarDir + "/allocine.json"),
              ReadWholeFile(SynchData("allocine-movie-61282.json")));
    EXPECT_GT(fs::file_size(AvatarDir + "/folder.jpg"), 0u);
    EXPECT_EQ(Log(), "");
}

TEST_F(AnomalyWalkTest, TmdbRecordsCanBeSkippedIgnoredOrGivenACode)
{
    Synchronise();
    const std::string Alien = Record("tmdb-2001.json"), Amelie = Record("tmdb-3003.json");

    // Annuler keeps every record and starts nothing; "Ignorer" declined keeps the window open.
    Prompts.ConfirmAnswers = {false};
    Walk("BtAnoTmdb", {[](TFormAnomaly& Window) {
             QTest::mouseClick(Window.findChild<QWidget*>("BtIgnore"), Qt::LeftButton);
             QTest::mouseClick(Window.findChild<QWidget*>("BtCancel"), Qt::LeftButton);
         }});
    EXPECT_EQ(Prompts.Texts("Confirm"), Strings{"Voulez-vous vraiment ignorer ce film ?"});
    EXPECT_TRUE(fs::exists(Alien) && fs::exists(Amelie));
    EXPECT_TRUE(Enabled("BtStart"));

    // Alien gets TMDb's movie 19995 typed in; Amélie is ignored.
    Prompts.Reset();
    Prompts.InputAnswers = {"19995"};
    Prompts.ConfirmAnswers = {true};
    Walk("BtAnoTmdb", {Press("BtUnfound"), Press("BtIgnore")});
    ASSERT_EQ(Prompts.Texts("InputBox"), Strings{"Quel code pour ce titre ?"});
    EXPECT_EQ(Prompts.Calls[0].Caption, "Alien, le huitième passager (Alien)");
    EXPECT_FALSE(fs::exists(Amelie));
    WaitUntilIdle();
    EXPECT_FALSE(fs::exists(Alien));
    EXPECT_EQ(Caption("BtAnoTmdb"), "Traiter les anomalies Tmdb (0)");
    EXPECT_EQ(ReadWholeFile(Scenario.Library(AlienDir) + "/tmdb.json"),
              ReadWholeFile(AnswerData("tmdb-movie-19995.json")));
    EXPECT_EQ(ReadWholeFile(Scenario.Library(AlienDir) + "/fanart.jpg"),
              ReadWholeFile(SynchData("backdrop-garden.jpg")));
}

TEST_F(AnomalyWalkTest, ARecordThatCannotBeFinishedIsLoggedAndKept)
{
    Synchronise();
    // The movie's cached AlloCine answer is gone: its TMDb record cannot be finished.
    fs::remove(Scenario.Library(AmelieDir) + "/allocine.json");
    Prompts.InputAnswers = {std::nullopt, "19995"};
    Walk("BtAnoTmdb", {Press("BtUnfound"), Press("BtUnfound")});
    EXPECT_FALSE(fs::exists(Record("tmdb-2001.json"))); // the input box cancelled: code 0, deleted
    EXPECT_TRUE(fs::exists(Record("tmdb-3003.json")));
    const std::string Line = Log();
    EXPECT_NE(Line.find("| \"Amélie & Nino: Paris\" /ERROR #19995 > "), std::string::npos) << Line;
    EXPECT_TRUE(Enabled("BtStart"));
    EXPECT_EQ(Caption("BtAnoTmdb"), "Traiter les anomalies Tmdb (1)");
}

TEST_F(AnomalyWalkTest, ARenameByHandThatAFullDiscKeepsOutOfTheJournalIsTakenBackAndReported)
{
    Synchronise();
    const std::string Avatar = Scenario.Movie("avatar 2009.avi");
    QTest::mouseClick(Find<QCheckBox>("CbRenameFiles"), Qt::LeftButton);
    ASSERT_TRUE(Find<QCheckBox>("CbRenameFiles")->isChecked());
    // The log's disc is full; the movies' is not.
    fs::remove(Config.LogFile);
    fs::create_symlink("/dev/full", Config.LogFile);
    Prompts.Reset();
    Walk("BtAnoAllocine", {Press("BtOK"), Press("BtCancel")});
    WaitUntilIdle();

    ASSERT_TRUE(QTest::qWaitFor([&] { return !Prompts.Texts("Message").empty(); }, 10000));
    const Strings Messages = Prompts.Texts("Message");
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].find(Config.LogFile), std::string::npos) << Messages[0];
    EXPECT_EQ(ReadWholeFile(Avatar), "movie avatar");
    for (const auto& Entry : fs::directory_iterator(Scenario.MovieDir()))
        EXPECT_EQ(Entry.path().filename().string().find("#61282"), std::string::npos) << Entry.path();
}

TEST_F(AnomalyWalkTest, ALogThatCannotBeWrittenEndsTheWalkWithOneBox)
{
    Synchronise();
    fs::remove(Scenario.Library(AmelieDir) + "/allocine.json");
    fs::remove(Config.LogFile);
    fs::create_directories(Config.LogFile); // the failure of Amélie's record cannot be logged
    Prompts.InputAnswers = {std::nullopt, "19995"};
    Walk("BtAnoTmdb", {Press("BtUnfound"), Press("BtUnfound")});
    QTest::qWait(100); // a box sent for later would have come by now
    const Strings Messages = Prompts.Texts("Message");
    ASSERT_EQ(Messages.size(), 1u) << testing::PrintToString(Messages);
    EXPECT_NE(Messages[0].find(Config.LogFile), std::string::npos) << Messages[0];
    EXPECT_TRUE(fs::exists(Record("tmdb-3003.json")));
    EXPECT_EQ(Log(), "");
}

// A disc gone read-only under a worker, as root meets it too: once the window
// has read Alien's record, the record becomes a folder that holds a file,
// which cannot be deleted, and the log a folder, which cannot be written.
TEST_F(AnomalyWalkTest, AWorkersEndThatCanNeitherDeleteItsRecordNorLogItLeavesTheWindowIdle)
{
    Synchronise();
    const std::string Alien = Record("tmdb-2001.json");
    Prompts.InputAnswers = {"19995"};
    Walk("BtAnoTmdb", {[&](TFormAnomaly& Window) {
                           fs::remove(Alien);
                           fs::create_directories(Alien + "/held");
                           fs::remove(Config.LogFile);
                           fs::create_directories(Config.LogFile);
                           Press("BtUnfound")(Window);
                       },
                       Press("BtCancel")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return Enabled("BtStart"); }, 20000));
    EXPECT_TRUE(Form->FormCloseQuery());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Prompts.Texts("Message").empty(); }));
    QTest::qWait(100); // a second box sent for later would have come by now
    const Strings Messages = Prompts.Texts("Message");
    ASSERT_EQ(Messages.size(), 1u) << testing::PrintToString(Messages);
    EXPECT_NE(Messages[0].find(Config.LogFile), std::string::npos) << Messages[0];
    EXPECT_NE(Messages[0].find("\"" + Alien + "\" /ERROR #19995 > "), std::string::npos) << Messages[0];
    EXPECT_TRUE(fs::exists(Alien + "/held"));
}

TEST_F(AnomalyWalkTest, AChoiceStaysInItsRecordUntilItsWorkerHasFinishedTheMovie)
{
    Synchronise();
    const std::string Avatar = Record("allocine-avatar 2009.avi.json");
    const std::string Evades = Record("allocine-Les Évadés.avi.json");
    const std::string EvadesFile = "\"" + Scenario.Movie("Les Évadés.avi") + "\" /ERROR #";
    // Avatar's movie answer comes late, and so does the service's word that
    // the code typed for "Les Évadés" is unknown.
    Scenario.Fake.Answer(AllocineApiHost, "/rest/v3/movie",
                         FakeAnswer::Slow(2s, ReadWholeFile(SynchData("allocine-movie-61282.json"))), 1,
                         "code=61282&");
    FakeAnswer NotFound = FakeAnswer::Status(404);
    NotFound.Delay = 2s;
    Scenario.Fake.Answer(AllocineApiHost, "/rest/v3/movie", NotFound, 1, "code=999&");
    Prompts.InputAnswers = {"999"};
    Walk("BtAnoAllocine", {Press("BtOK"), Press("BtUnfound")});
    EXPECT_TRUE(fs::exists(Avatar) && fs::exists(Evades));
    // A walk meanwhile offers neither choice again.
    WalkBy([&] { Form->BtAnoAllocineClick(); }, {});
    WaitUntilIdle();
    EXPECT_FALSE(fs::exists(Avatar));
    EXPECT_TRUE(fs::exists(Scenario.Library("Avatar (2009) #61282") + "/allocine.json"));
    EXPECT_TRUE(fs::exists(Evades));
    EXPECT_EQ(CountHolding(LogLines(), EvadesFile + "999 > "), 1) << Log();
    EXPECT_EQ(CountHolding(LogLines(), "Le code 999 est inconnu du service (404 Not Found)"), 1) << Log();
    EXPECT_EQ(Caption("BtAnoAllocine"), "Traiter les anomalies Allociné (1)");

    // Another synchronisation of the folder refuses the worker: the record stays too.
    const int Library = ::open(Scenario.LibraryDir().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(Library, LOCK_EX | LOCK_NB), 0);
    Prompts.InputAnswers = {"3003"};
    Walk("BtAnoAllocine", {Press("BtUnfound")});
    WaitUntilIdle();
    ::close(Library);
    EXPECT_TRUE(fs::exists(Evades));
    EXPECT_EQ(CountHolding(LogLines(), EvadesFile + "3003 > [TSynchThread.Execute] Une synchronisation de ce "
                                                    "dossier est déjà en cours"),
              1)
        << Log();
}

TEST_F(AnomalyWalkTest, RecordsThatNameFoldersOrFilesOutOfPlaceAreLoggedKeptAndNeverActedOn)
{
    Scenario.CreateMovieFiles();
    Scenario.ScriptServices();
    const std::string Profile = Scenario.Temp.Write("home/.profile", "the user's"),
                      Avatar = "avatar 2009.avi";
    const std::string Library = Scenario.LibraryDir(), Films = Scenario.MovieDir();
    const std::string Home = Scenario.Temp / "home", HomeLink = Scenario.Temp / "home link";
    fs::create_directory_symlink(Home, HomeLink);
    // A folder that looks like a movie folder of ours, outside any library.
    const std::string Stray = Scenario.Temp.Write("Films/Autre/allocine.json",
                                                  ReadWholeFile(SynchData("allocine-movie-2001.json")));
    const std::string StrayDir = DDKExtractFilePath(Stray);
    // Another movie folder whose library leads to the user's documents.
    const std::string Others = Scenario.Temp / "Autres films", Documents = Scenario.Temp / "Documents";
    Scenario.Temp.Write("Autres films/autre.avi", "movie");
    Scenario.Temp.Write("Documents/Alien #2001/allocine.json",
                        ReadWholeFile(SynchData("allocine-movie-2001.json")));
    fs::create_directory_symlink(Documents, Others + "/@Vantry");
    const std::pair<std::string, std::string> AllocinePlaces[] = {
        {Profile, Library},                                // a file outside the movie folder
        {".profile", "@Vantry"},                           // relative to the working folder
        {Scenario.Movie(Avatar), Films + "/Bibliothèque"}, // a library by another name
        {Library, Library},                                // the library itself
        {Films + "/../home/.profile", Library},            // a way out
        {Home + "/.profile", Home + "/@Vantry"},           // no movie file
        {HomeLink + "/.profile", HomeLink + "/@Vantry"},   // the same through a link
        {Others + "/autre.avi", Others + "/@Vantry"},      // a library that is a link
    };
    const std::string TmdbPlaces[] = {Library,          StrayDir,    Scenario.Library("a/b"),
                                      Library + "/./b", "@Vantry/b", Others + "/@Vantry/Alien #2001"};
    int Index = 0;
    for (const auto& [File, McDir] : AllocinePlaces)
        WriteAllocineRecord(++Index, File, McDir);
    for (const std::string& MovieDir : TmdbPlaces)
        Scenario.Temp.Write(DDKFormat("app/Anomaly/tmdb-%d.json", ++Index),
                            nlohmann::json{{"results", {{{"id", 19995}, {"title", "Avatar"}}}},
                                           {"code", 2001},
                                           {"title", "Alien"},
                                           {"moviedir", MovieDir}}
                                .dump());
    Open();
    QTest::mouseClick(Find<QCheckBox>("CbRenameFiles"), Qt::LeftButton);
    Walk("BtAnoAllocine", std::deque<TAnswer>(std::size(AllocinePlaces), Press("BtOK")));
    Walk("BtAnoTmdb", std::deque<TAnswer>(std::size(TmdbPlaces), Press("BtOK")));
    WaitUntilIdle();

    // Each record has its line and stays; nothing was asked of the services,
    // made, written or renamed.
    const std::vector<std::string> Lines = LogLines();
    EXPECT_EQ(CountHolding(Lines, " /ERROR #"), Index);
    EXPECT_EQ(CountHolding(Lines, "rien n'est créé ni renommé"), Index);
    EXPECT_EQ(CountHolding(Lines, "| \"" + Profile + "\" /ERROR #61282 > "), 2);
    EXPECT_EQ(CountHolding(Lines, "| \"Alien\" /ERROR #19995 > "), long(std::size(TmdbPlaces)));
    EXPECT_EQ(EntryCount(Config.AnomalyDir), Index);
    EXPECT_EQ(Scenario.Fake.Count(AllocineApiHost, "/rest/v3/movie") +
                  Scenario.Fake.Count(TmdbApiHost, "/3/movie/19995"),
              0);
    EXPECT_FALSE(fs::exists(Library) || fs::exists(Films + "/Bibliothèque") ||
                 fs::exists(Films + "/@Vantry"));
    EXPECT_EQ(EntryCount(StrayDir), 1);
    EXPECT_EQ(ReadWholeFile(Profile), "the user's");
    EXPECT_EQ(EntryCount(Home), 1);
    EXPECT_EQ(EntryCount(Documents + "/Alien #2001"), 1);
    EXPECT_EQ(EntryCount(Documents), 1);
    EXPECT_TRUE(fs::exists(Scenario.Movie(Avatar)) && fs::exists(Others + "/autre.avi"));
}

TEST_F(AnomalyWalkTest, RecordsOfMovieFilesAnywhereInTheirMovieFolderAreActedOn)
{
    Scenario.CreateMovieFiles();
    Scenario.ScriptServices();
    // A movie file inside the library, as a synchronisation meets it; a movie
    // folder on another disc, reached through a link.
    const std::string InLibrary = Scenario.Temp.Write("Films/@Vantry/avatar.avi", "movie");
    const std::string Linked = Scenario.Temp.Write("disc/Films/avatar.mkv", "movie");
    fs::create_directory_symlink(Scenario.Temp / "disc/Films", Scenario.Temp / "Films sur disque");
    const std::pair<std::string, std::string> Places[] = {
        {InLibrary, Scenario.LibraryDir()},
        {Scenario.Temp / "Films sur disque/avatar.mkv", Scenario.Temp / "Films sur disque/@Vantry"},
    };
    for (int Index = 0; const auto& [File, McDir] : Places)
        WriteAllocineRecord(++Index, File, McDir);
    Open();
    Walk("BtAnoAllocine", {Press("BtOK"), Press("BtOK")});
    WaitUntilIdle();

    EXPECT_EQ(Log(), "");
    EXPECT_EQ(EntryCount(Config.AnomalyDir), 0);
    for (const std::string& Movie : {Scenario.Library("Avatar (2009) #61282"),
                                     Scenario.Temp / "disc/Films/@Vantry/Avatar (2009) #61282"})
        EXPECT_EQ(ReadWholeFile(Movie + "/allocine.json"),
                  ReadWholeFile(SynchData("allocine-movie-61282.json")))
            << Movie;
    EXPECT_EQ(PlaylistEntries(Scenario.Library("Avatar (2009) #61282/movie.asx")), Strings{InLibrary});
    EXPECT_TRUE(fs::exists(Linked));
}

} // namespace
