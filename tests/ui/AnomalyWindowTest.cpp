// The anomaly window on records of both services in both forms: what it
// shows, how its buttons end it, its result rows and thumbnails, and the
// manual search against the fake services.
#include "PictureBytes.h"
#include "ScriptedPrompts.h"
#include "SynchScenario.h"

#include "Colors.h"
#include "DDKConversion.h"
#include "DDKFiles.h"
#include "DDKStrings.h"
#include "MovieFileName.h"
#include "Pictures.h"
#include "QtDispatcher.h"
#include "ResultRows.h"
#include "UnitAnomaly.h"

#include <QApplication>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <future>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

// A progressive JPEG of a few hundred bytes that declares 30000 x 30000
// pixels: its decoder sets aside room for every pixel declared.
std::string ProgressiveJpegBomb()
{
    QImage Image(16, 16, QImage::Format_RGB32);
    Image.fill(Qt::gray);
    std::string Jpeg = Encoded(Image, "jpeg", true);
    // The frame header: marker, length, precision, then height and width.
    return Jpeg.replace(Jpeg.find("\xFF\xC2") + 5, 4, "\x75\x30\x75\x30");
}

// The largest memory the process has held so far, in bytes.
long PeakMemory()
{
    rusage Usage{};
    getrusage(RUSAGE_SELF, &Usage);
    return Usage.ru_maxrss * 1024L;
}

// A pipe nobody writes to. Should a reader wait on it, a writer comes after
// five seconds and leaves at once, so that the test fails rather than hangs.
struct TStuckPipe
{
    explicit TStuckPipe(std::string Path) : Name(std::move(Path))
    {
        EXPECT_EQ(::mkfifo(Name.c_str(), 0600), 0);
        Writer = std::async(std::launch::async, [this, Done = Ended.get_future()] {
            if (Done.wait_for(5s) == std::future_status::timeout)
                ::close(::open(Name.c_str(), O_WRONLY | O_CLOEXEC));
        });
    }
    ~TStuckPipe()
    {
        Ended.set_value();
        // A writer already waiting for a reader finds one.
        const int Reader = ::open(Name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        Writer.wait();
        ::close(Reader);
    }
    std::string Name;
    std::promise<void> Ended;
    std::future<void> Writer;
};

bool Near(QColor A, QColor B)
{
    return std::abs(A.red() - B.red()) + std::abs(A.green() - B.green()) + std::abs(A.blue() - B.blue()) < 24;
}

struct AnomalyWindowTest : ::testing::Test
{
    TempFolder Temp;
    TConfig SavedConfig = Config;
    TQtDispatcher Dispatcher;
    TScriptedPrompts& Prompts = TestPrompts();
    std::unique_ptr<TFormAnomaly> Form;
    std::string MovieFile;
    TDateTime ReleaseDate = 0; // of the movie of the records written

    AnomalyWindowTest()
    {
        Config = TConfig(Temp.Write("app/vantry", "program"));
        MovieFile = Temp.Write("Films/L'Été #2 (copie).avi", "movie");
        Prompts.Reset();
        Form = std::make_unique<TFormAnomaly>(Dispatcher, Prompts);
        Form->SearchRetryPause = 1ms;
    }
    ~AnomalyWindowTest() override
    {
        Form.reset();
        Config = SavedConfig;
    }

    // Writes the record of Source for Text as the synchronisation does; Text
    // is an answer, or the name of one among the test data.
    std::string Record(TSource Source, std::string Text)
    {
        if (Text.ends_with(".json") || Text.ends_with(".xml"))
            Text = DDKLoadFile(AnswerData(Text));
        for (const auto& Entry : std::filesystem::directory_iterator(Config.AnomalyDir))
            std::filesystem::remove(Entry.path());
        TMovieInfo Movie;
        Movie.FileName = MovieFile;
        Movie.Code = 61282;
        Movie.Title = "Le Grand Bleu";
        Movie.OriginalTitle = "The Big Blue";
        Movie.ProductionYear = "1988";
        Movie.ReleaseDate = ReleaseDate;
        Movie.MovieDir = Temp / "Films/@Vantry/Le Grand Bleu (1988) #61282";
        TMetadata().AddAnomaly(Text, Source, Movie, Temp / "Films/@Vantry", "le+grand+bleu");
        return DDKChangeFileExt(TMetadata::AnomalyFileName(Source, Movie),
                                IsJsonStream(Text) ? ".json" : ".xml");
    }

    // Shows the record of Answer; Drive plays the user once the window is up.
    // Returns how the window ended, -1 when Drive left it open.
    int Run(TSource Source, const std::string& Answer, const std::function<void()>& Drive)
    {
        QTimer::singleShot(0, Form.get(), [&] {
            // Enter finds its button once the window has the focus.
            EXPECT_TRUE(QTest::qWaitForWindowActive(Form.get()));
            Drive();
            if (Form->isVisible())
                Form->done(-1);
        });
        return Form->Execute(Record(Source, Answer), Source);
    }

    template <class T = QWidget> T* Find(const char* Name) const
    {
        T* Control = Form->findChild<T*>(Name);
        EXPECT_NE(Control, nullptr) << Name;
        return Control;
    }
    QTableView* Grid() const { return Find<QTableView>("GridSearch"); }
    QWidget* Viewport() const { return Grid()->viewport(); }
    const TResultModel& Model() const { return dynamic_cast<const TResultModel&>(*Grid()->model()); }
    void Click(const char* Name) const { QTest::mouseClick(Find(Name), Qt::LeftButton); }
    void ClickRow(int Row, int X) const
    {
        QTest::mouseClick(Viewport(), Qt::LeftButton, {}, {X, Row * 101 + 50});
    }
    // A TMDb answer of ten results, whose codes count from First.
    static std::string TenResults(int First)
    {
        std::string Results;
        for (int Id = First; Id < First + 10; ++Id)
            Results += DDKFormat(R"(%s{"id":%d,"title":"Film %d"})", Id > First ? "," : "", Id, Id);
        return "{\"results\":[" + Results + "]}";
    }
    // Returns once every row has its picture or the placeholder for good.
    void WaitForThumbnails() const
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !Model().ThumbnailsLoading(); }, 10000));
    }
    QRgb Pixel(int X, int Y) const { return Viewport()->grab().toImage().pixel(X, Y); }
    Qt::CursorShape CursorAt(int X) const
    {
        QTest::mouseMove(Viewport(), {X, 50});
        return Viewport()->cursor().shape();
    }
    // Types Text into the search box and presses Enter; returns once the
    // answer is shown (at once when no search started).
    void Search(const std::string& Text) const
    {
        Find<QLineEdit>("EdSearch")->setText(QString::fromStdString(Text));
        QTest::keyClick(Find("EdSearch"), Qt::Key_Return);
        EXPECT_TRUE(QTest::qWaitFor([&] { return Find("BtSearch")->isEnabled(); }, 20000));
    }
};

TEST_F(AnomalyWindowTest, RecordsOfBothServicesInBothFormsShowTheirResults)
{
    const std::string Fiche = DDKFormat("http://%s/film/fichefilm_gen_cfilm=61282.html", AllocineWebHost);
    const struct
    {
        TSource Source;
        std::string Answer, Caption;
        std::vector<Strings> Rows; // title, second title, date, overview, directors, actors
        Strings Pages;             // opened by clicks on the thumbnails of the first two rows, then the link
        TDateTime ReleaseDate = 0;
    } Cases[] = {
        {SourceAllocine,
         R"(<?xml version="1.0" encoding="utf-8"?><feed xmlns="http://www.allocine.net/v6/ns/">
              <movie code="1"><title/><OriginalTitle>Le Grand Bleu</OriginalTitle><productionYear>1988</productionYear>
                <release><releaseDate>1988-05-11</releaseDate></release><linkList><link href="http://a.test/1"/></linkList>
                <castingShort><directors>Luc Besson</directors><actors>Jean Reno, Jean-Marc Barr</actors></castingShort></movie>
              <movie code="2"><title>Nikita</title><originalTitle>Nikita</originalTitle><productionYear/>
                <linkList><link href="file:///etc/passwd"/></linkList></movie></feed>)",
         "L'Été #2 (copie).avi",
         {{"Le Grand Bleu (1988)", "", "11 mai 1988", "", "Luc Besson", "Jean Reno, Jean-Marc Barr"},
          {"Nikita", "Nikita", "", "", "", ""}},
         {"http://a.test/1"}},
        {SourceAllocine,
         R"({"feed":{"movie":[{"code":1,"title":"","originalTitle":"Le Grand Bleu","productionYear":1988,
              "release":{"releaseDate":"1988-05-11"},"castingShort":{"directors":"Luc Besson","actors":"Jean Reno"}},
              {"code":2,"title":"Léon","productionYear":"1994","release":{"releaseDate":"bientôt"},
               "link":[{"href":"http://a.test/2"}]}]}})",
         "L'Été #2 (copie).avi",
         {{"Le Grand Bleu (1988)", "", "11 mai 1988", "", "Luc Besson", "Jean Reno"},
          {"Léon", "", "30 décembre 1899", "", "", ""}},
         {"http://a.test/2"}},
        {SourceTmdb,
         R"(<OpenSearchDescription xmlns:opensearch="http://a9.com/-/opensearch/1.1/">
              <opensearch:Query searchTerms="grand+bleu"/><movies>
              <movie><translated>false</translated><name>Speed Racer : le film</name><original_name>Speed Racer</original_name>
                <id>7</id><released>2008-05-14</released><overview>Une course.</overview><url>https://t.test/7</url></movie>
              <movie><translated>yes</translated><name>le grand bleu</name><original_name>Le Grand Bleu</original_name>
                <id>8</id><released/></movie></movies></OpenSearchDescription>)",
         "Le Grand Bleu (The Big Blue) (1988) (11 mai 1988)",
         {{"Speed Racer : le film (14 mai 2008)*", "Speed Racer", "14 mai 2008", "Une course.", "", ""},
          {"Le Grand Bleu", "", "", "", "", ""}},
         {"https://t.test/7", Fiche},
         DDKEncodeDate(1988, 5, 11)},
        {SourceTmdb,
         R"({"results":[{"id":9,"title":"Le Grand Bleu","original_title":"LE GRAND BLEU","release_date":"1988-05-11"},
              {"id":10,"title":"Nikita","original_title":"La Femme Nikita","release_date":null}]})",
         "Le Grand Bleu (The Big Blue) (1988)",
         {{"LE GRAND BLEU", "", "11 mai 1988", "", "", ""}, {"Nikita", "La Femme Nikita", "", "", "", ""}},
         {DDKFormat("http://%s/movie/9", TmdbWebHost), DDKFormat("http://%s/movie/10", TmdbWebHost), Fiche}},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Answer.substr(0, 60));
        Prompts.Reset();
        const bool Tmdb = Case.Source == SourceTmdb;
        ReleaseDate = Case.ReleaseDate;
        Run(Case.Source, Case.Answer, [&] {
            EXPECT_EQ(Form->windowTitle().toStdString(), Case.Caption);
            EXPECT_EQ(Find("LbLink")->isVisible(), Tmdb);
            EXPECT_EQ(Find<QLineEdit>("EdSearch")->text().toStdString(),
                      Tmdb && !IsJsonStream(Case.Answer) ? "grand bleu" : "le grand bleu");
            ASSERT_EQ(Model().ResultCount(), int(Case.Rows.size()));
            for (int Row = 0; Row < Model().ResultCount(); ++Row) {
                const TResultRow R = Model().Row(Row);
                EXPECT_EQ(Strings({R.Title, R.SecondTitle, R.Date, R.Overview, R.Directors, R.Actors}),
                          Case.Rows[std::size_t(Row)]);
            }
            // The page of a row opens from its thumbnail only; an address that
            // is not a web page is never handed to the desktop.
            ClickRow(0, 76);
            ClickRow(0, 75);
            ClickRow(1, 0);
            if (Tmdb)
                Click("LbLink");
        });
        EXPECT_EQ(Prompts.Texts("OpenUrl"), Case.Pages);
    }
}

TEST_F(AnomalyWindowTest, ATmdbRecordReadsBackAsWrittenWhateverTheAnswersRoot)
{
    // An error page read as XML: no result, but the movie's members all the same.
    Run(SourceTmdb, "<html><head><title>Erreur</title></head><body>503</body></html>", [&] {
        EXPECT_EQ(Form->windowTitle().toStdString(), "Le Grand Bleu (The Big Blue) (1988)");
        EXPECT_EQ(Model().ResultCount(), 0);
        Click("LbLink");
    });
    EXPECT_EQ(Form->MovieDir, Temp / "Films/@Vantry/Le Grand Bleu (1988) #61282");
    EXPECT_EQ(Form->Title, "Le Grand Bleu");
    EXPECT_EQ(Form->OriginalTitle, "The Big Blue");
    EXPECT_EQ(Prompts.Texts("OpenUrl"),
              Strings{DDKFormat("http://%s/film/fichefilm_gen_cfilm=61282.html", AllocineWebHost)});
}

TEST_F(AnomalyWindowTest, ARecordOfAMovieFileWithTheLongestNameShowsItWhole)
{
    const std::string Name = std::string(240, 'x') + " (2009).avi";
    MovieFile = Temp.Write("Films/" + Name, "movie");
    Run(SourceAllocine, "allocine-search-avatar.xml",
        [&] { EXPECT_EQ(Form->windowTitle().toStdString(), Name); });
    EXPECT_EQ(Form->FileName, MovieFile);
}

TEST_F(AnomalyWindowTest, RecordsThatCannotBeReadRaiseWithoutShowingTheWindow)
{
    for (const std::string Text : {"{\"results\":", "{\"page\":1}", "<feed><movie></feed>", ""}) {
        const std::string Name =
            Temp.Write(Text[0] == '{' ? "Anomaly/allocine-x.json" : "Anomaly/allocine-x.xml", Text);
        std::string Error;
        try {
            Form->Execute(Name, SourceAllocine);
        } catch (const std::exception& Raised) {
            Error = Raised.what();
        }
        EXPECT_TRUE(Error.starts_with("[TFormAnomaly.Execute] ")) << Text << ": " << Error;
        EXPECT_FALSE(Form->isVisible());
    }
}

TEST_F(AnomalyWindowTest, ButtonsEndTheWindowWithTheirResults)
{
    // A code that is no number, or no movie's, is shown as an error, and the window stays open.
    const auto Odd = [](const std::string& Code) {
        return "<feed><movie " + Code + "><title>X</title></movie></feed>";
    };
    const auto OddJson = [](const std::string& Code) {
        return R"({"feed":{"movie":[{"title":"X")" + Code + "}]}}";
    };
    const struct
    {
        Strings Steps;
        int Result;
        std::int32_t Code;
        std::string Answer = "allocine-search-avatar.xml";
    } Cases[] = {
        {{"row 2", "BtOK"}, mrOk, 178014},
        {{"row 2", "double click"}, mrOk, 178014},
        {{"Escape"}, mrCancel, -1},
        {{"close box"}, mrCancel, -1},
        {{"BtOK", "close box"}, mrCancel, -1, Odd("code=\"abc\"")},
        {{"BtOK", "close box"}, mrCancel, -1, Odd("code=\"0\"")},
        {{"BtOK", "close box"}, mrCancel, -1, Odd("code=\"-61282\"")},
        {{"BtOK", "close box"}, mrCancel, -1, Odd("")},
        {{"BtOK", "close box"}, mrCancel, -1, OddJson("")},
        {{"BtOK", "close box"}, mrCancel, -1, OddJson(",\"code\":-3")},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Steps.front() + ", " + Case.Steps.back());
        Prompts.Reset();
        const int Result = Run(SourceAllocine, Case.Answer, [&] {
            for (const std::string& Step : Case.Steps)
                if (Step == "row 2")
                    ClickRow(1, 200);
                else if (Step == "double click")
                    QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, {200, 151});
                else if (Step == "Escape")
                    QTest::keyClick(Find("EdSearch"), Qt::Key_Escape);
                else if (Step == "close box")
                    Form->close();
                else
                    Click(Step.c_str());
        });
        EXPECT_EQ(Result, Case.Result);
        EXPECT_EQ(Form->SelectedCode, Case.Code);
        const Strings Messages = Prompts.Texts("Message");
        EXPECT_EQ(Messages.size(), Case.Steps.front() == "BtOK" ? 1u : 0u);
        EXPECT_TRUE(Messages.empty() || Messages[0].starts_with("[TFormAnomaly.BtOKClick] "));
    }
}

TEST_F(AnomalyWindowTest, TwentyResultsGiveTenRowsTheirThumbnailsAndTheirColours)
{
    std::string Results;
    for (int Id = 1; Id <= 20; ++Id)
        Results += DDKFormat(R"(%s{"id":%d,"title":"Film %d","original_title":"Film %d","release_date":""})",
                             Id > 1 ? "," : "", Id, Id, Id);
    // A one-pixel red GIF, then PNG and JPEG posters, a damaged and an empty
    // one, and two damaged PNGs of the size of a poster: one whose data block
    // does not unpack, one cut before its end.
    Temp.Write("app/Cache/tmdb-1.gif",
               std::string("GIF89a\1\0\1\0\x80\0\0\xff\0\0\0\0\0,\0\0\0\0\1\0\1\0\0\2\2D\1\0;", 35));
    const std::string Green = Picture(Qt::green, "PNG");
    Temp.Write("app/Cache/tmdb-2.png", Green);
    Temp.Write("app/Cache/tmdb-3.jpg", Picture(Qt::blue, "JPEG"));
    Temp.Write("app/Cache/tmdb-4.jpg", Picture(Qt::blue, "JPEG").substr(0, 20));
    Temp.Write("app/Cache/tmdb-5.png", "");
    std::string Corrupt = Green;
    const std::size_t Data = Corrupt.find("IDAT") + 4;
    ASSERT_LT(Data + 8, Corrupt.size());
    Corrupt.replace(Data + 2, 6, "\xFF\xFF\xFF\xFF\xFF\xFF");
    Temp.Write("app/Cache/tmdb-6.png", Corrupt);
    Temp.Write("app/Cache/tmdb-7.png", Green.substr(0, Green.size() - 20));
    Run(SourceTmdb, "{\"results\":[" + Results + "]}", [&] {
        WaitForThumbnails();
        // Only the rows that can show get a picture decoded.
        EXPECT_EQ(Model().ResultCount(), 20);
        ASSERT_EQ(Model().Thumbnails().size(), 10u);
        EXPECT_EQ(Model().rowCount(), 10);
        const auto Thumbnail = [&](int Index) { return Model().Thumbnails()[std::size_t(Index)].toImage(); };
        EXPECT_TRUE(Near(Thumbnail(0).pixelColor(37, 50), Qt::red));
        EXPECT_TRUE(Near(Thumbnail(1).pixelColor(37, 50), Qt::green));
        EXPECT_TRUE(Near(Thumbnail(2).pixelColor(37, 50), Qt::blue));
        const QImage Placeholder = PictureFromResource(VantryResource_nofolder75()).toImage();
        for (int Index : {3, 4, 5, 6, 9})
            EXPECT_EQ(Thumbnail(Index), Placeholder) << Index;

        // The first row is selected; the others alternate from the tooltip colour.
        const int Right = Viewport()->width() - 3;
        EXPECT_EQ(Pixel(Right, 95), ColorToRGB(clHighlight).rgb());
        EXPECT_EQ(Pixel(Right, 196), QColor(Qt::white).rgb());
        EXPECT_EQ(Pixel(Right, 297), ColorToRGB(clInfoBk).rgb());
        EXPECT_TRUE(Near(QColor(Pixel(37, 50)), Qt::red));
        ClickRow(1, 200);
        EXPECT_EQ(Pixel(Right, 95), ColorToRGB(clInfoBk).rgb());
        EXPECT_EQ(Pixel(Right, 196), ColorToRGB(clHighlight).rgb());

        // One row per notch of the wheel, the selection staying put.
        for (const int Delta : {-120, -120, 120}) {
            QWheelEvent Wheel({300, 50}, Viewport()->mapToGlobal(QPoint(300, 50)), {}, {0, Delta},
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(Viewport(), &Wheel);
        }
        EXPECT_EQ(Grid()->verticalScrollBar()->value(), 1);
        EXPECT_EQ(Grid()->currentIndex().row(), 1);
        EXPECT_EQ(CursorAt(75), Qt::PointingHandCursor);
        EXPECT_EQ(CursorAt(76), Qt::ArrowCursor);
    });
}

TEST_F(AnomalyWindowTest, HostileCacheFilesGiveThePlaceholderAtOnceAndInLittleMemory)
{
    // A picture bomb; a pipe that hides the real poster behind it; a real
    // picture padded beyond what a thumbnail weighs; small pictures too wide
    // only and too tall only.
    Temp.Write("app/Cache/tmdb-1.jpg", ProgressiveJpegBomb());
    const TStuckPipe Pipe(Temp / "app/Cache/tmdb-2.gif");
    Temp.Write("app/Cache/tmdb-2.png", Picture(Qt::green, "PNG"));
    Temp.Write("app/Cache/tmdb-3.png", Picture(Qt::blue, "PNG") + std::string(TMetadata::ThumbnailLimit, '\0'));
    Temp.Write("app/Cache/tmdb-4.png", Picture(Qt::red, "PNG", {2049, 10}));
    Temp.Write("app/Cache/tmdb-5.png", Picture(Qt::red, "PNG", {10, 2049}));
    const long PeakBefore = PeakMemory();
    const auto Start = std::chrono::steady_clock::now();
    const std::string Results =
        R"({"results":[{"id":1,"title":"A"},{"id":2,"title":"B"},{"id":3,"title":"C"},)"
        R"({"id":4,"title":"D"},{"id":5,"title":"E"}]})";
    Run(SourceTmdb, Results, [&] {
        WaitForThumbnails();
        EXPECT_LT(std::chrono::steady_clock::now() - Start, 3s);
        ASSERT_EQ(Model().Thumbnails().size(), 5u);
        const QImage Placeholder = PictureFromResource(VantryResource_nofolder75()).toImage();
        EXPECT_TRUE(Model().Thumbnails()[0].toImage() == Placeholder);
        EXPECT_TRUE(Near(Model().Thumbnails()[1].toImage().pixelColor(37, 50), Qt::green));
        EXPECT_TRUE(Model().Thumbnails()[2].toImage() == Placeholder);
        EXPECT_TRUE(Model().Thumbnails()[3].toImage() == Placeholder);
        EXPECT_TRUE(Model().Thumbnails()[4].toImage() == Placeholder);
    });
    EXPECT_LT(PeakMemory() - PeakBefore, 256L << 20);
}

// The pictures of a set decoded after another set took its rows, or after the
// model went, reach nothing.
TEST_F(AnomalyWindowTest, PicturesOfASetThatIsGoneNeverReachItsRows)
{
    for (int Id = 1; Id <= 10; ++Id)
        Temp.Write(DDKFormat("app/Cache/tmdb-%d.png", Id), Picture(Qt::red, "PNG"));
    TResultSet Results;
    {
        TResultModel Rows(Results, nullptr);
        Results.LoadJson(TenResults(1), SourceTmdb);
        Rows.Refresh(Results.Count());
        // The red pictures are decoded and on their way meanwhile; this
        // thread takes no event before the next set has the rows.
        std::this_thread::sleep_for(300ms);
        Results.LoadJson(TenResults(101), SourceTmdb);
        Rows.Refresh(Results.Count());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !Rows.ThumbnailsLoading(); }, 10000));
        const QImage Placeholder = PictureFromResource(VantryResource_nofolder75()).toImage();
        for (const QPixmap& Thumbnail : Rows.Thumbnails())
            EXPECT_TRUE(Thumbnail.toImage() == Placeholder);
        Results.LoadJson(TenResults(1), SourceTmdb);
        Rows.Refresh(Results.Count());
    }
    QCoreApplication::processEvents();
}

// --- Manual search ----------------------------------------------------------------------

TEST_F(AnomalyWindowTest, SearchWordsAndYearReachTheService)
{
    FakeServices Fake;
    Fake.Default(AllocineApiHost, "/rest/v3/search",
                 FakeAnswer::File(AnswerData("allocine-search-noresult.json")));
    Fake.Default(TmdbApiHost, "/3/search/movie", FakeAnswer::File(AnswerData("tmdb-search-empty.json")));
    // Texts typed on TMDb's record, then AlloCine's, and a part of the query
    // each sends; none when no search starts, which leaves the record's results.
    const std::vector<std::pair<std::string, std::string>> Searches[] = {
        {{"/1988", ""},
         {"le grand bleu/1988", "&query=le+grand+bleu&page=1&language=fr&include_adult=false&year=1988"},
         {"bleu/19888", "&query=bleu+19888&page=1&language=fr&include_adult=false"}},
        {{" ?! ", ""},
         {"le grand bleu/1988", "&q=le+grand+bleu&partner="},
         {"L'Été meurtrier", "&q=l'ete+meurtrier&partner="}},
    };
    for (const TSource Source : {SourceTmdb, SourceAllocine})
        Run(Source, Source == SourceTmdb ? "tmdb-search-avatar.json" : "allocine-search-avatar.xml", [&] {
            for (const auto& [Text, Query] : Searches[Source == SourceTmdb ? 0 : 1]) {
                const std::size_t Before = Fake.Requests().size();
                Search(Text);
                const std::vector<FakeRequest> Requests = Fake.Requests();
                ASSERT_EQ(Requests.size(), Before + (Query.empty() ? 0 : 1)) << Text;
                if (Query.empty()) {
                    EXPECT_GT(Model().ResultCount(), 0) << Text;
                    continue;
                }
                EXPECT_NE(Requests.back().Query.find(Query), std::string::npos) << Requests.back().Query;
                EXPECT_EQ(Requests.back().Query.ends_with("&year=1988"), Query.ends_with("&year=1988"))
                    << Text;
                EXPECT_EQ(Model().ResultCount(), 0) << Text;
            }
        });
}

TEST_F(AnomalyWindowTest, OneSearchAtATimeAnswersInEitherFormAndBadOnesLeaveABlankRow)
{
    FakeServices Fake;
    const std::string Deep =
        "{\"feed\":{\"movie\":" + std::string(100000, '[') + std::string(100000, ']') + "}}";
    Fake.Answer(AllocineApiHost, "/rest/v3/search",
                FakeAnswer::File(AnswerData("allocine-search-avatar.json")));
    for (const FakeAnswer& Bad :
         {FakeAnswer::Status(404), FakeAnswer::Text("<html><body>oops"), FakeAnswer::Text(Deep)})
        Fake.Answer(AllocineApiHost, "/rest/v3/search", Bad);
    Fake.Answer(TmdbApiHost, "/3/search/movie", FakeAnswer::File(AnswerData("tmdb-search-avatar.xml")));
    // The poster of the first AlloCine result, fetched by the search thread.
    Fake.Answer("images.allocine.test", "/r_75_106/medias/nmedia/18/78/95/70/19485155.jpg",
                FakeAnswer::Text(Picture(Qt::blue, "JPEG")));

    Run(SourceAllocine, "allocine-search-avatar.xml", [&] {
        // Until its answer is taken on this thread the search runs: a second
        // Enter and a double click on a row do nothing.
        Find<QLineEdit>("EdSearch")->setText("avatar");
        for (const Qt::Key Key : {Qt::Key_Return, Qt::Key_Return})
            QTest::keyClick(Find("EdSearch"), Key);
        QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, {200, 50});
        EXPECT_TRUE(Form->isVisible() && Find("ImgLoading")->isVisible());
        EXPECT_EQ(Form->SelectedCode, -1);
        Search("avatar");
        EXPECT_EQ(Fake.Count(AllocineApiHost, "/rest/v3/search"), 1);
        ASSERT_EQ(Model().ResultCount(), 3);
        EXPECT_EQ(Model().Row(0).Directors, "James Cameron"); // only the JSON answer has it
        WaitForThumbnails();
        EXPECT_TRUE(Near(Model().Thumbnails()[0].toImage().pixelColor(37, 50), Qt::blue));
        for (int Bad = 0; Bad < 3; ++Bad) {
            Search("avatar");
            EXPECT_EQ(Model().ResultCount(), 0) << Bad;
            EXPECT_FALSE(Find("BtOK")->isEnabled() || Find("ImgLoading")->isVisible());
            EXPECT_TRUE(Find("BtCancel")->isEnabled());
        }
        // The empty set shows one blank row, which opens and chooses nothing.
        EXPECT_EQ(Model().rowCount(), 1);
        EXPECT_NE(CursorAt(10), Qt::PointingHandCursor);
        QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, {10, 50});
        EXPECT_TRUE(Form->isVisible());
        EXPECT_EQ(Pixel(300, 50), Pixel(300, 150));
        EXPECT_TRUE(Prompts.Calls.empty());
    });
    const int Result = Run(SourceTmdb, "tmdb-search-avatar.json", [&] {
        ASSERT_EQ(Model().ResultCount(), 3);
        Search("avatar");
        ASSERT_EQ(Model().ResultCount(), 2);
        EXPECT_EQ(Model().Row(1).Title, "Avatar : La Voie de l'eau*");
        ClickRow(1, 200);
        Click("BtOK");
    });
    EXPECT_EQ(Result, mrOk);
    EXPECT_EQ(Form->SelectedCode, 76600);
}

TEST_F(AnomalyWindowTest, ASearchEndsAtItsDeadlineOrAtOnceOnAnnulerEscapeOrTheCloseBox)
{
    FakeServices Fake;
    // The first answer comes whole but its thumbnail never does; the later answers never end.
    Fake.Answer(AllocineApiHost, "/rest/v3/search", FakeAnswer::File(AnswerData("allocine-search-avatar.json")));
    Fake.Default(AllocineApiHost, "/rest/v3/search", FakeAnswer::Trickle("{", 100ms));
    Fake.Default("images.allocine.test", "/r_75_106/medias/*", FakeAnswer::Trickle("x", 100ms));
    const std::function<void()> Stops[] = {nullptr, [&] { Click("BtCancel"); },
                                           [&] { QTest::keyClick(Find("EdSearch"), Qt::Key_Escape); },
                                           [&] { EXPECT_FALSE(Form->close()); }};
    const int Result = Run(SourceAllocine, "allocine-search-avatar.xml", [&] {
        for (std::size_t Stop = 0; Stop < std::size(Stops); ++Stop) {
            SCOPED_TRACE(Stop);
            Form->SearchDeadline = Stops[Stop] ? 30s : 1s;
            Find<QLineEdit>("EdSearch")->setText("avatar");
            QTest::keyClick(Find("EdSearch"), Qt::Key_Return);
            ASSERT_TRUE(QTest::qWaitFor([&] { return Fake.Count(AllocineApiHost, "/rest/v3/search") > int(Stop); }));
            const auto Start = std::chrono::steady_clock::now();
            if (Stops[Stop])
                Stops[Stop]();
            EXPECT_TRUE(QTest::qWaitFor([&] { return Find("BtSearch")->isEnabled(); }, 3000));
            EXPECT_LT(std::chrono::steady_clock::now() - Start, Stops[Stop] ? 1s : 2s);
            // The window stays with its controls back: a stopped search has
            // failed, one past its deadline shows what had come.
            EXPECT_TRUE(Form->isVisible() && Find("BtUnfound")->isEnabled() && !Find("ImgLoading")->isVisible());
            ASSERT_EQ(Model().ResultCount(), Stops[Stop] ? 0 : 3);
            if (!Stops[Stop]) {
                EXPECT_TRUE(Model().Thumbnails()[0].toImage() ==
                            PictureFromResource(VantryResource_nofolder75()).toImage());
            }
        }
    });
    EXPECT_EQ(Result, -1);
    EXPECT_TRUE(std::filesystem::is_empty(Config.CacheDir));
}

// Ten posters that each take seconds to decode hold neither the rows of a
// record nor a stop after a search that names them.
TEST_F(AnomalyWindowTest, PostersThatCostSecondsToDecodeHoldNeitherTheRowsNorAStop)
{
    const std::string Heavy = ScanHeavyJpeg(2048, 1000), Answer = TenResults(1);
    ASSERT_LE(Heavy.size(), TMetadata::ThumbnailLimit);
    for (int Id = 1; Id <= 10; ++Id)
        Temp.Write(DDKFormat("app/Cache/tmdb-%d.jpg", Id), Heavy);
    FakeServices Fake;
    Fake.Default(TmdbApiHost, "/3/search/movie", FakeAnswer::Text(Answer));
    const QImage Placeholder = PictureFromResource(VantryResource_nofolder75()).toImage();
    const std::function<void()> Stops[] = {[&] { Click("BtCancel"); },
                                           [&] { QTest::keyClick(Find("EdSearch"), Qt::Key_Escape); },
                                           [&] { EXPECT_TRUE(Form->close()); }};
    for (const auto& Stop : Stops) {
        const auto Shown = std::chrono::steady_clock::now();
        const int Result = Run(SourceTmdb, Answer, [&] {
            WaitForThumbnails();
            EXPECT_LT(std::chrono::steady_clock::now() - Shown, 1s);
            ASSERT_EQ(Model().rowCount(), 10);
            for (const QPixmap& Thumbnail : Model().Thumbnails())
                EXPECT_TRUE(Thumbnail.toImage() == Placeholder);
            Find<QLineEdit>("EdSearch")->setText("avatar");
            const auto Asked = std::chrono::steady_clock::now();
            QTest::keyClick(Find("EdSearch"), Qt::Key_Return);
            EXPECT_TRUE(QTest::qWaitFor([&] { return Find("BtSearch")->isEnabled(); }, 20000));
            Stop();
            EXPECT_FALSE(Form->isVisible());
            EXPECT_LT(std::chrono::steady_clock::now() - Asked, 1s);
        });
        EXPECT_EQ(Result, mrCancel);
    }
}

TEST_F(AnomalyWindowTest, WindowGoneBeforeTheAnswerComes)
{
    FakeServices Fake;
    FakeAnswer Slow = FakeAnswer::File(AnswerData("allocine-search-avatar.json"));
    Slow.Delay = 200ms;
    Fake.Answer(AllocineApiHost, "/rest/v3/search", Slow);
    Form->findChild<QLineEdit*>("EdSearch")->setText("avatar");
    Form->BtSearchClick();
    Form.reset();
    auto Ended = std::async(std::launch::async, [] { TWorkerThread::WaitForAllWorkers(); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return Ended.wait_for(0s) == std::future_status::ready; }, 20000));
}

} // namespace
