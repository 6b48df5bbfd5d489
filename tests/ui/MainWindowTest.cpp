// The main window as a user meets it: start-up, a whole synchronisation
// against the fake services, stop and close requests, bad folders, and the
// rename option's warnings with a log that cannot be written.
#include "MainWindowFixture.h"

#include "DDKStrings.h"
#include "LogWriter.h"
#include "Pictures.h"
#include "Prompts.h"
#include "Resources.h"
#include "ServiceKeys.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>

namespace {

namespace fs = std::filesystem;

TEST_F(MainWindowTest, ControlsStandAtTheirPlacesAndFollowTheWindowsRightEdge)
{
    Open();
    // One control of each kind: fixed, kept at the right, stretched.
    const std::tuple<const char*, QRect, int> Places[] = {{"BtStart", {60, 87, 170, 24}, 0},
                                                          {"BtClearLog", {450, 117, 127, 24}, 1},
                                                          {"EdDir", {60, 6, 376, 22}, 2}};
    for (const int Extra : {0, 150}) {
        Form->resize(600 + Extra, 450 + Extra);
        for (auto [Name, Expected, Grow] : Places) {
            Expected.adjust(Grow == 1 ? Extra : 0, 0, Grow > 0 ? Extra : 0, 0);
            EXPECT_EQ(Find(Name)->geometry(), Expected) << Name << " +" << Extra;
        }
        EXPECT_EQ(Find("MemoLog")->geometry(), QRect(0, 146, 600 + Extra, 304 + Extra));
    }
    EXPECT_EQ(Form->minimumSize(), QSize(600, 450));
    EXPECT_EQ(Find<QLabel>("Label2")->text().toStdString(),
              "\"titre FR (titre original) (date de sortie) (réalisateur) (genres) #code.xxx\"");
    EXPECT_EQ(Find("MemoLog")->font().family().toStdString(), "Courier New");
    EXPECT_FALSE(Find("BtEmule")->isVisible() || Find("BtMain")->isVisible());
}

TEST_F(MainWindowTest, StartUpAsksForUpdatesAndCountsTheRecords)
{
    Config.Version = "1.3.0"; // this test program carries no stamp of its own
    const std::string Download =
        std::string("http://") + VersionHost + "/version.php?sw=vantry&req=dl&ver=9.9.9";
    // A version service that never stops trickling holds the window only
    // until the query's deadline, and counts as no answer.
    Config.StartUpQueryDeadline = 500ms;
    for (const auto& [Answer, UpdateUrl] : std::vector<std::pair<FakeAnswer, std::string>>{
             {FakeAnswer::Status(404), ""},
             {FakeAnswer::Text(Config.Version), ""},
             {FakeAnswer::Trickle("9", 100ms), ""},
             {FakeAnswer::Text("9.9.9"), Download}}) {
        Scenario.Fake.Answer(VersionHost, "/version.php", Answer);
        const auto Start = std::chrono::steady_clock::now();
        Open();
        EXPECT_LT(std::chrono::steady_clock::now() - Start, 3s);
        EXPECT_EQ(Find("ImgUpdate")->isVisible(), !UpdateUrl.empty());
    }
    QTest::mouseClick(Find("ImgUpdate"), Qt::LeftButton);
    EXPECT_EQ(Find<QLabel>("LbVersion")->text().toStdString(), "version 1.3.0");
    EXPECT_TRUE(fs::exists(Scenario.Temp / "config/XBMC/userdata/advancedsettings.xml"));

    // Without a configuration folder, no XBMC settings file is made at the root of the disc.
    const std::optional<std::string> Home =
        std::getenv("HOME") ? std::optional<std::string>(std::getenv("HOME")) : std::nullopt;
    const bool AtRoot = fs::exists("/XBMC");
    unsetenv("HOME");
    unsetenv("XDG_CONFIG_HOME");
    Open();
    Home ? setenv("HOME", Home->c_str(), 1) : unsetenv("HOME");
    setenv("XDG_CONFIG_HOME", (Scenario.Temp / "config").c_str(), 1);
    const bool MadeAtRoot = !AtRoot && fs::exists("/XBMC");
    if (MadeAtRoot)
        fs::remove_all("/XBMC");
    EXPECT_FALSE(MadeAtRoot);
    EXPECT_EQ(Prompts.Texts("Message"), Strings{});

    Scenario.Temp.Write("app/Anomaly/allocine-a.avi.json", "{}");
    Scenario.Temp.Write("app/Anomaly/allocine-b.avi.xml", "<x/>");
    Scenario.Temp.Write("app/Anomaly/tmdb-12.json", "{}");
    Open();
    EXPECT_EQ(Caption("BtAnoAllocine"), "Traiter les anomalies Allociné (2)");
    EXPECT_EQ(Caption("BtAnoTmdb"), "Traiter les anomalies Tmdb (1)");
    EXPECT_TRUE(Enabled("BtAnoAllocine") && Enabled("BtAnoTmdb"));
    QTest::mouseClick(Find("ImgAbout"), Qt::LeftButton);
    Click("BtClearLog");
    EXPECT_EQ(Prompts.Texts("OpenUrl"), (Strings{Download, ProductPageUrl, Config.LogFile}));
}

TEST_F(MainWindowTest, BothWindowsCarryTheProgramsPicture)
{
    Open();
    const QImage Picture = PictureFromResource(VantryResource_icon()).toImage();
    ASSERT_FALSE(Picture.isNull());
    for (const QWidget* Window : {static_cast<QWidget*>(Form.get()), static_cast<QWidget*>(FormAnomaly)}) {
        const QImage Icon = Window->windowIcon().pixmap(Picture.size()).toImage();
        EXPECT_TRUE(Icon.convertToFormat(Picture.format()) == Picture) << Window->objectName().toStdString();
    }
}

// Each way a page or the log is opened says why when the desktop's opener
// cannot open it, once the opener has said so: here it knows no program for it.
TEST_F(MainWindowTest, AnOpenerThatFailsSaysWhy)
{
    Scenario.Temp.Write("app/Anomaly/tmdb-12.json", R"({"title": "Alien", "results": []})");
    const std::string Opener = Scenario.Temp.Write("bin/xdg-open", "#!/bin/sh\nexit 3\n");
    fs::permissions(Opener, fs::perms::owner_all);
    const std::string SavedPath = std::getenv("PATH");
    setenv("PATH", (Scenario.Temp / "bin").c_str(), 1);
    // The program's prompts hand the address to the same opener.
    TDesktopOpener Desktop(
        [this](const std::string& Reason) { Prompts.Message(Reason, TPrompts::TKind::Error); });
    Prompts.Opener = [&Desktop](const std::string& Url) { Desktop.Open(Url); };
    Open();
    Click("BtClearLog");
    QTest::mouseClick(Find("ImgAbout"), Qt::LeftButton);
    // The link of a TMDb record, in the anomaly walk.
    QTimer::singleShot(0, [this] {
        ASSERT_TRUE(QTest::qWaitFor([this] { return FormAnomaly->isVisible(); }));
        QTest::mouseClick(FormAnomaly->findChild<QWidget*>("LbLink"), Qt::LeftButton);
        FormAnomaly->close();
    });
    Click("BtAnoTmdb");
    EXPECT_TRUE(QTest::qWaitFor([this] { return Prompts.Texts("Message").size() >= 3; }, 10000));
    setenv("PATH", SavedPath.c_str(), 1);
    Prompts.Opener = nullptr;

    const Strings Opened = Prompts.Texts("OpenUrl");
    ASSERT_EQ(Opened.size(), 3u);
    std::multiset<std::string> Expected;
    for (const std::string& Url : Opened)
        Expected.insert("Impossible d'ouvrir \"" + Url +
                        "\" : aucun programme n'est disponible pour l'ouvrir");
    // The verdicts come in the order the openers end.
    const Strings Messages = Prompts.Texts("Message");
    EXPECT_EQ(std::multiset<std::string>(Messages.begin(), Messages.end()), Expected);
}

TEST_F(MainWindowTest, AWholeSynchronisationRunsFromTheStartButtonToItsEnd)
{
    Scenario.CreateMovieFiles();
    Scenario.ScriptServices();
    Open();
    StartIn(Scenario.MovieDir());
    EXPECT_FALSE(Enabled("BtStart"));
    EXPECT_TRUE(Enabled("BtStop"));
    EXPECT_FALSE(Enabled("BtAnoAllocine"));
    EXPECT_TRUE(Find("ImgLoading")->isVisible());

    ASSERT_TRUE(QTest::qWaitFor([&] { return !Prompts.Texts("Message").empty(); }, 60000));
    ASSERT_EQ(Prompts.Texts("Message"), Strings{"Synchronisation terminée"});
    EXPECT_TRUE(Enabled("BtStart"));
    EXPECT_FALSE(Enabled("BtStop"));
    EXPECT_FALSE(Find("ImgLoading")->isVisible());
    EXPECT_EQ(Find<QProgressBar>("ProgressBar")->maximum(), 7);
    EXPECT_EQ(Find<QProgressBar>("ProgressBar")->value(), 7);
    Scenario.ExpectCompleteLibrary();

    // The one failure, in the view and in the log file, stamped alike.
    const QStringList Shown = Find<QPlainTextEdit>("MemoLog")->toPlainText().split('\n');
    ASSERT_EQ(Shown.size(), 1);
    const std::string Line = Shown[0].toStdString();
    EXPECT_TRUE(Scenario.IsNoiseFailure(Line.substr(22))) << Line;
    EXPECT_EQ(ReadWholeFile(Config.LogFile), Line + "\r\n");

    EXPECT_EQ(Caption("BtAnoAllocine"), "Traiter les anomalies Allociné (2)");
    EXPECT_EQ(Caption("BtAnoTmdb"), "Traiter les anomalies Tmdb (2)");
    EXPECT_TRUE(Enabled("BtAnoAllocine"));
}

TEST_F(MainWindowTest, StopAndCloseRequestsEndARunWithoutItsClosingBox)
{
    SlowMovies(6);
    Open();
    StartIn(Scenario.MovieDir());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Find<QProgressBar>("ProgressBar")->value() >= 1; }, 20000));
    Click("BtStop");
    WaitUntilIdle();
    EXPECT_LT(Find<QProgressBar>("ProgressBar")->value(), 6);

    // A close request during a run stops it and is refused; once idle, it closes.
    StartIn(Scenario.MovieDir());
    EXPECT_FALSE(Form->close());
    EXPECT_TRUE(Form->isVisible());
    WaitUntilIdle();
    EXPECT_TRUE(Form->close());
    EXPECT_EQ(Prompts.Texts("Message"), Strings{});
}

TEST_F(MainWindowTest, AStartWithoutAUsableFolderSaysSoAndStaysIdle)
{
    Open();
    // A cancelled folder box leaves the folder typed; a chosen one replaces it.
    Prompts.FolderAnswers = {std::nullopt, Scenario.Temp / "missing"};
    Find<QLineEdit>("EdDir")->setText("/avant");
    Click("BtBrowse");
    EXPECT_EQ(Find<QLineEdit>("EdDir")->text().toStdString(), "/avant");
    Click("BtBrowse");
    EXPECT_EQ(Find<QLineEdit>("EdDir")->text().toStdString(), Scenario.Temp / "missing");
    EXPECT_EQ(Prompts.Texts("BrowseFolder"),
              Strings(2, "Dossier dans lequel se trouvent les fichiers à synchroniser (*.avi;*.mkv)"));
    for (const std::string& Folder :
         {std::string(), Scenario.Temp / "missing", Scenario.Temp / "app/vantry"}) {
        Prompts.Reset();
        StartIn(Folder);
        EXPECT_EQ(Prompts.Texts("Message"),
                  Strings{"Veuillez sélectionner un dossier valide pour la synchronisation"});
        EXPECT_TRUE(Enabled("BtStart"));
        EXPECT_FALSE(Enabled("BtStop"));
        EXPECT_FALSE(Find("ImgLoading")->isVisible());
    }
    EXPECT_FALSE(fs::exists(Config.LogFile));
}

TEST_F(MainWindowTest, TheLogItsViewAndItsBoxesKeepTheServicesKeysToThemselves)
{
    // Every search fails, the services echoing the keys in their reasons or
    // in an answer that cannot be read; the movie named with its code fails
    // at its backdrop search. A record that cannot be read quotes a key too.
    const std::string Partner = AllocinePartner, Key = TmdbApiKey;
    Scenario.CreateMovieFiles();
    Scenario.Temp.Write("Films/film&sig=1.avi", "movie");
    Scenario.Temp.Write("app/Anomaly/allocine-x.avi.json", "{\"feed\": {\"filename\": \"?partner=" + Partner);
    Scenario.Fake.Default(AllocineApiHost, "/rest/v3/search",
                          FakeAnswer::Status(500, "Internal Server Error for partner=" + Partner +
                                                      " %3Fpartner%3D" + DDKLowerCase(Partner)));
    Scenario.Fake.Default(AllocineApiHost, "/rest/v3/search",
                          FakeAnswer::Text("{\"feed\": {\"movie\": [{\"title\": \"?partner=" + Partner),
                          "q=alien&");
    Scenario.Fake.Default(AllocineApiHost, "/rest/v3/movie",
                          FakeAnswer::File(SynchData("allocine-movie-3003.json")));
    Scenario.Fake.Default(TmdbApiHost, "/3/search/movie", FakeAnswer::Status(401, "Invalid API_KEY " + Key));
    Open();
    StartIn(Scenario.MovieDir());
    WaitUntilIdle();
    Click("BtAnoAllocine");
    const std::string Shown = Find<QPlainTextEdit>("MemoLog")->toPlainText().toStdString();
    for (const std::string& Log : {ReadWholeFile(Config.LogFile), Shown}) {
        EXPECT_NE(Log.find("/rest/v3/search?format=json&filter=movie&count=10&q=avatar+2009&partner=…&sed="),
                  std::string::npos)
            << Log;
        EXPECT_NE(Log.find("/3/search/movie?api_key=…&query="), std::string::npos) << Log;
        EXPECT_NE(Log.find("Internal Server Error for partner=… %3Fpartner%3D…"), std::string::npos) << Log;
        EXPECT_NE(Log.find("Invalid API_KEY …"), std::string::npos) << Log;
        EXPECT_NE(Log.find("last read: '\"?partner=…'"), std::string::npos) << Log;
        EXPECT_NE(Log.find("\"" + Scenario.Movie("film&sig=1.avi") + "\" /ERROR #-1 > "), std::string::npos);
        EXPECT_EQ(HideServiceKeys(Log), Log);
        std::size_t Signatures = 0;
        for (std::size_t At = Log.find("&sig="); At != std::string::npos; At = Log.find("&sig=", At + 1)) {
            if (Log.substr(At, 7) != "&sig=1.") {
                EXPECT_EQ(Log.substr(At, 8), "&sig=…");
                ++Signatures;
            }
        }
        EXPECT_GT(Signatures, 0u);
    }
    const Strings Boxes = Prompts.Texts("Message");
    ASSERT_EQ(Boxes.size(), 2u) << testing::PrintToString(Boxes);
    EXPECT_NE(Boxes[1].find("?partner=…"), std::string::npos) << Boxes[1];
    EXPECT_EQ(HideServiceKeys(Boxes[1]), Boxes[1]);
}

TEST_F(MainWindowTest, ALogThatCannotBeWrittenEndsTheRunAndIsReportedOnce)
{
    Scenario.CreateMovieFiles();
    Scenario.ScriptServices();
    const auto MovieFiles = [this] {
        std::set<std::string> Names;
        for (const auto& Entry : fs::recursive_directory_iterator(Scenario.MovieDir()))
            if (Entry.is_regular_file() && Entry.path().string().find("@Vantry") == std::string::npos)
                Names.insert(Entry.path().string());
        return Names;
    };
    const std::set<std::string> Before = MovieFiles();
    fs::create_directories(Config.LogFile); // nothing can be appended to it
    Open();
    // Renaming warns when switched on, not when switched off.
    auto* Rename = Find<QCheckBox>("CbRenameFiles");
    QTest::mouseClick(Rename, Qt::LeftButton);
    QTest::mouseClick(Rename, Qt::LeftButton);
    EXPECT_EQ(
        Prompts.Texts("Message"),
        (Strings{"En activant cette option, les fichiers sont renommés et perdent donc leur tag officiel.\r\n"
                 "De plus, cette application ne vous permet pas de faire machine arrière.",
                 "Les opérations de renommage sont systématiquement enregistrés dans le fichier journal."}));
    QTest::mouseClick(Rename, Qt::LeftButton);
    ASSERT_TRUE(Rename->isChecked());
    Prompts.Reset();
    StartIn(Scenario.MovieDir());
    WaitUntilIdle();
    // The error box comes once the worker's call has returned.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Prompts.Texts("Message").size() == 2; }, 10000));
    const Strings Messages = Prompts.Texts("Message");
    EXPECT_NE(Messages[0].find(Config.LogFile), std::string::npos) << Messages[0];
    EXPECT_EQ(Messages[1], "Synchronisation terminée");
    EXPECT_EQ(Find<QPlainTextEdit>("MemoLog")->toPlainText().toStdString(), "");

    // The run ended at the first line it could not journal, and that file took its name back.
    EXPECT_EQ(MovieFiles(), Before);
}

} // namespace
