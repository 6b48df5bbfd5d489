// The anomaly walks of the main window, end to end: a synchronisation leaves
// records, the user answers each one in the anomaly window, and single-movie
// workers finish the movies in the background.
#include "MainWindowFixture.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QTimer>

#include <deque>
#include <filesystem>
#include <functional>

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
        Click(Name);
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
    std::string Log() const { return Find<QPlainTextEdit>("MemoLog")->toPlainText().toStdString(); }
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
    EXPECT_FALSE(fs::exists(Avatar));
    EXPECT_FALSE(fs::exists(Evades));

    // The buttons wait for the worker, then count again.
    EXPECT_FALSE(Enabled("BtStart"));
    EXPECT_FALSE(Enabled("BtAnoTmdb"));
    WaitUntilIdle();
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
    EXPECT_FALSE(fs::exists(Alien));
    EXPECT_FALSE(fs::exists(Amelie));
    WaitUntilIdle();
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

} // namespace
