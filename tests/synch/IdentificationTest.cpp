// Choosing among search results, and single files on paths whole runs do not take.
#include "SynchRun.h"
#include "SynchScenario.h"

#include "DDKConversion.h"
#include "DDKRegExpr.h"

#include <gtest/gtest.h>

#include <tuple>

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
    for (const auto& [Code, Title, OriginalTitle, Date] : Results) {
        TMovieInfo& Movie = List.Items(List.Add(std::make_unique<TMovieInfo>()));
        std::tie(Movie.Code, Movie.Title, Movie.OriginalTitle, Movie.ReleaseDate) =
            std::tie(Code, Title, OriginalTitle, Date);
    }
    return List;
}

TEST(ScanListTest, TmdbPrefersOneDateMatchThenOneTitleMatchAndAlloCineATitleBeginningTheWords)
{
    const TDateTime Day = DDKEncodeDate(2009, 12, 16), OtherDay = DDKEncodeDate(2010, 1, 1);
    TQueueDispatcher Dispatcher;
    TSynchThread Worker(Dispatcher);
    int Row = 0;
    for (const auto& [Title, Date, Results, Expected] :
         std::vector<std::tuple<std::string, TDateTime, std::vector<TResult>, std::int32_t>>{
             {"Le Film", Day, {{1, "Autre", "Other", Day}, {2, "Le Film", "", OtherDay}}, 1},
             {"Le Film", Day, {{1, "Le Film", "", Day}, {2, "X", "", Day}}, -1}, // dated: no title match
             {"Le Film", Day, {{1, "A", "", Day}, {2, "B", "", Day}, {3, "Le Film", "", 0}}, 3},
             {"Le Film", 0, {{1, "A", "", Day}, {2, "A", "The Film", Day}}, 2},
             {"Le Film", Day, {{1, "LE FILM", "", 0}, {2, "x", "the film", OtherDay}}, -1},
             {"Le Film été", Day, {{1, "LE FILM ÉTÉ", "", 0}}, -1}, // accented capitals differ
         }) {
        TMovieList Movie = ListOf({{0, Title, "The Film", Date}}), List = ListOf(Results);
        EXPECT_EQ(Worker.ScanListTmdb(Movie.Items(0), List), Expected) << "row " << Row++;
    }
    for (const auto& [Words, Results, Expected] :
         std::vector<std::tuple<std::string, std::vector<TResult>, int>>{
             {"aliens le retour", {{1, "Alien", ""}, {2, "Aliens", ""}}, -1},
             {"alien 1979", {{1, "Alien", ""}, {3, "Prometheus", ""}}, 1},
             {"aliens le retour", {{5, "Le Retour", ""}}, -1},
             {"l'age de glace", {{7, "", "L'Âge de glace"}, {8, "", ""}}, 7},
         }) {
        TMovieList List = ListOf(Results);
        EXPECT_EQ(Worker.ScanListAc(Words, List), Expected) << Words;
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
            if (Request.Path == "/rest/v3/search")
                Words.push_back(
                    DDKSubExpr(Request.Query, "(?:^|&)q=([^&]*)", 1, true, true, false, false, ""));
        return Words;
    }
};

TEST_F(SynchFileTest, SearchesAtMostFiveWordsWithoutNoiseShortensOnlyEmptyAnswersAndSkipsCodeZero)
{
    Synch("avec 1999 dvdrip xvid french.avi");
    Synch("the matrix reloaded 2003 x264 french.avi");
    Synch("Le Parrain #1234 suite.avi"); // a code only counts at the end
    const std::string Zero = Synch("#0.avi");
    Scenario.Temp.Write("app/Anomaly/allocine-avatar 2009.avi.json", "{}"); // a waiting record
    Synch("avatar 2009.avi");
    EXPECT_EQ(SearchedWords(),
              (Strings{"avec+1999", "avec", "the+matrix+reloaded+2003+x264", "the+matrix+reloaded+2003",
                       "the+matrix+reloaded", "the+matrix", "the", "le+parrain+1234+suite", "le+parrain+1234",
                       "le+parrain", "le"}));
    EXPECT_EQ(Scenario.Fake.Requests().size(), 11u); // nothing but those searches
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
    EXPECT_TRUE(Lines[0].starts_with("\"" + Movie + "\" /ERROR #2001 > ")) << Lines[0];
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
    for (const char* Name : {"/movie.asx", "/movie.nfo", "/movie.xml", "/movie.strm", "/wmc.dvdid.xml"})
        EXPECT_TRUE(std::filesystem::exists(Scenario.Library(AlienDir) + Name)) << Name;
}

} // namespace
