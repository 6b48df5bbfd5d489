// Choosing among search results, and the paths of single movie files that the
// whole-folder runs do not take: names that carry or merely resemble a code,
// noise words, a waiting record, a second part met first, a taken name.
#include "SynchRun.h"
#include "SynchScenario.h"

#include "DDKConversion.h"
#include "ServiceSettings.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using Strings = std::vector<std::string>;

struct TResult
{
    std::int32_t Code;
    std::string Title, OriginalTitle;
    TDateTime Date = 0;
};

TMovieList ListOf(const std::vector<TResult>& Results)
{
    TMovieList List;
    for (const TResult& Result : Results) {
        auto Movie = std::make_unique<TMovieInfo>();
        Movie->Code = Result.Code;
        Movie->Title = Result.Title;
        Movie->OriginalTitle = Result.OriginalTitle;
        Movie->ReleaseDate = Result.Date;
        List.Add(std::move(Movie));
    }
    return List;
}

TEST(ScanListTest, TmdbPrefersOneDateMatchThenOneTitleMatchAndAlloCineATitleBeginningTheWords)
{
    const TDateTime Day = DDKEncodeDate(2009, 12, 16), OtherDay = DDKEncodeDate(2010, 1, 1);
    struct
    {
        const char* MovieTitle;
        TDateTime MovieDate;
        std::vector<TResult> Results;
        std::int32_t Expected;
    } TmdbRows[] = {
        {"Le Film", Day, {{1, "Autre", "Other", Day}, {2, "Le Film", "", OtherDay}}, 1},
        {"Le Film",
         Day,
         {{1, "Le Film", "", Day}, {2, "X", "", Day}},
         -1}, // a dated result's title is no title match
        {"Le Film", Day, {{1, "A", "", Day}, {2, "B", "", Day}, {3, "Le Film", "", 0}}, 3},
        {"Le Film", 0, {{1, "A", "", Day}, {2, "A", "The Film", Day}}, 2},
        {"Le Film", Day, {{1, "LE FILM", "", 0}, {2, "x", "the film", OtherDay}}, -1},
        {"Le Film été", Day, {{1, "LE FILM ÉTÉ", "", 0}}, -1}, // accented capitals differ
    };
    TQueueDispatcher Dispatcher;
    TSynchThread Worker(Dispatcher);
    for (const auto& Row : TmdbRows) {
        TMovieInfo Movie;
        Movie.Title = Row.MovieTitle;
        Movie.OriginalTitle = "The Film";
        Movie.ReleaseDate = Row.MovieDate;
        TMovieList List = ListOf(Row.Results);
        EXPECT_EQ(Worker.ScanListTmdb(Movie, List), Row.Expected) << &Row - TmdbRows;
    }

    struct
    {
        const char* Words;
        std::vector<TResult> Results;
        std::int32_t Expected;
    } AllocineRows[] = {
        {"aliens le retour", {{1, "Alien", ""}, {2, "Aliens", ""}}, -1},
        {"alien 1979", {{1, "Alien", ""}, {3, "Prometheus", ""}}, 1},
        {"aliens le retour", {{5, "Le Retour", ""}}, -1},
        {"l'age de glace", {{7, "", "L'Âge de glace"}, {8, "", ""}}, 7},
    };
    for (const auto& Row : AllocineRows) {
        TMovieList List = ListOf(Row.Results);
        EXPECT_EQ(Worker.ScanListAc(Row.Words, List), Row.Expected) << Row.Words;
    }
}

struct SynchFileTest : ::testing::Test
{
    TSynchScenario Scenario;
    TQueueDispatcher Dispatcher;
    TSynchThread Worker{Dispatcher};
    Strings Lines;

    void SetUp() override
    {
        Scenario.ScriptServices();
        Worker.SetFolder(Scenario.MovieDir());
        Worker.OnLog = [this](const std::string& Line) { Lines.push_back(Line); };
    }
    std::string Synch(const std::string& Name, const std::string& Content = {})
    {
        const std::string File = Scenario.Temp.Write("Films/" + Name, Content);
        Worker.SynchFile(File);
        return File;
    }
    Strings SearchedWords() const
    {
        Strings Words;
        for (const FakeRequest& Request : Scenario.Fake.Requests())
            if (Request.Path == "/rest/v3/search") {
                const std::size_t Start = Request.Query.find("q=") + 2;
                Words.push_back(Request.Query.substr(Start, Request.Query.find('&', Start) - Start));
            }
        return Words;
    }
};

TEST_F(SynchFileTest, SearchesAtMostFiveWordsWithoutNoiseAndShortensOnlyEmptyAnswers)
{
    Synch("avec 1999 dvdrip xvid french.avi");
    Synch("the matrix reloaded 2003 x264 french.avi");
    Synch("Le Parrain #1234 suite.avi"); // a code only counts at the end
    EXPECT_EQ(SearchedWords(),
              (Strings{"avec+1999", "avec", "the+matrix+reloaded+2003+x264", "the+matrix+reloaded+2003",
                       "the+matrix+reloaded", "the+matrix", "the", "le+parrain+1234+suite", "le+parrain+1234",
                       "le+parrain", "le"}));
    EXPECT_EQ(Lines, Strings{});
}

TEST_F(SynchFileTest, ACodeOfZeroOrAWaitingRecordSendsNothing)
{
    const std::string Zero = Synch("#0.avi");
    Scenario.Temp.Write("app/Anomaly/allocine-avatar 2009.avi.json", "{}");
    Synch("avatar 2009.avi");
    EXPECT_EQ(Scenario.Fake.Requests().size(), 0u);
    ASSERT_EQ(Lines.size(), 1u);
    EXPECT_TRUE(Lines[0].starts_with("\"" + Zero + "\" /ERROR #0 > [TMetadata.AddAnomaly] ")) << Lines[0];
}

TEST_F(SynchFileTest, ASecondPartMetFirstIsSearchedAndItsFirstPartJoinsTheSameFolder)
{
    Synch("alien cd2.avi");
    Synch("alien cd1.avi");
    EXPECT_EQ(Lines, Strings{});
    EXPECT_EQ(SearchedWords(), (Strings{"alien", "alien"}));
    EXPECT_EQ(Scenario.Fake.Count(AllocineApiHost, "/rest/v3/movie"), 1);
    EXPECT_EQ(Scenario.LibraryFolders(), Strings{AlienDir});
    EXPECT_EQ(Worker.LinkedFiles().Count(), 2);
}

TEST_F(SynchFileTest, ARenameOntoAnExistingFileFailsAndKeepsBothFiles)
{
    Worker.RenameFiles = true;
    const std::string Taken =
        Scenario.Temp.Write("Films/Alien, le huitième passager (Alien) (09-1979) (Ridley "
                            "Scott) (Science fiction, Épouvante-horreur) #2001.avi",
                            "the other movie");
    const std::string Movie = Synch("alien.avi", "this movie");
    ASSERT_EQ(Lines.size(), 1u);
    EXPECT_TRUE(
        Lines[0].starts_with("\"" + Movie +
                             "\" /ERROR #2001 > [TSynchThread.SaveMovieInfo] [TSynchThread.RenameMovieFile] "
                             "Impossible de renommer le fichier en \"" +
                             Taken + "\" ("))
        << Lines[0];
    EXPECT_EQ(ReadWholeFile(Movie), "this movie");
    EXPECT_EQ(ReadWholeFile(Taken), "the other movie");
}

TEST_F(SynchFileTest, NoApplicationDataFolderStopsTheMovieBeforeItsCacheFile)
{
    const std::string Home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("HOME");
    const std::string Movie = Synch("alien #2001.avi");
    if (!Home.empty())
        ::setenv("HOME", Home.c_str(), 1);
    EXPECT_EQ(Lines, Strings{"\"" + Movie +
                             "\" /ERROR #2001 > [TSynchThread.SaveMovieInfo] No application data "
                             "folder: neither XDG_CONFIG_HOME nor HOME is set"});
    // The library's own files are written all the same.
    for (const char* Name : {"/movie.asx", "/movie.nfo", "/movie.xml", "/movie.strm", "/wmc.dvdid.xml"})
        EXPECT_TRUE(std::filesystem::exists(Scenario.Library(AlienDir) + Name)) << Name;
}

} // namespace
