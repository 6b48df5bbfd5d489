#include "MovieFileName.h"

#include "DDKError.h"
#include "DDKSystem.h"
#include "TempFolder.h"
#include "UnitTypes.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

struct TCdCase
{
    std::string FileName;
    int CdNumber;
    std::string OtherCdFile; // "" when it is the file itself
    std::string SearchTitle;
};

TEST(GetCdNumber, FindsThePartMarkerAndTheTwinFile)
{
    const std::string Huge(3000, 'x');
    const TCdCase Cases[] = {
        {"/films/Le Parrain.avi", 0, "", "le parrain"},
        {"/films/Le Parrain.CD1.avi", 1, "/films/Le Parrain.CD2.avi", "le parrain"},
        {"/films/Alien [2].mkv", 2, "/films/Alien [1].mkv", "alien"},
        {"/films/Alien (1].mkv", 1, "/films/Alien (2].mkv", "alien"},
        {"/films/Film_part2.avi", 2, "/films/Film_part1.avi", "film"},
        {"/films/Film.Disc1.mkv", 1, "/films/Film.Disc2.mkv", "film"},
        // The cd marker wins over an earlier part marker.
        {"/films/Film.part1.cd2.avi", 2, "/films/Film.part1.cd1.avi", "film part1"},
        // The names the renaming gives.
        {"/films/Le Parrain (1972) [CD2] #1234.avi", 2, "/films/Le Parrain (1972) [CD1] #1234.avi",
         "le parrain 1972 1234"},
        // Markers that do not count: at the start, glued to letters or digits,
        // a third part, a bracket not before the extension.
        {"/films/cd1.avi", 0, "", "cd1"},
        {"/films/Filmcd1.avi", 0, "", "filmcd1"},
        {"/films/Film.cd3.avi", 0, "", "film cd3"},
        {"/films/Film.cd12.avi", 0, "", "film cd12"},
        {"/films/Film (1) vo.avi", 0, "", "film 1 vo"},
        // No extension: the last dot of the name starts it, a dot of the folder does not.
        {"/films/Matrix", 0, "", "matrix"},
        {"/films.old/Matrix", 0, "", "matrix"},
        {"/films/Film.cd1", 0, "", "film"},
        // A byte that is not UTF-8 separates words and leaves the marker alone.
        {"/films/Caf\xE9 noir.cd2.avi", 2, "/films/Caf\xE9 noir.cd1.avi", "caf noir"},
        // A very long name keeps all of its characters in the twin's name.
        {"/films/" + Huge + ".cd1.avi", 1, "/films/" + Huge + ".cd2.avi", Huge},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.FileName.substr(0, 80));
        TMovieInfo Movie;
        Movie.SetFileName(Case.FileName);
        EXPECT_EQ(Movie.FileName, Case.FileName);
        EXPECT_EQ(Movie.CdNumber, Case.CdNumber);
        EXPECT_EQ(Movie.OtherCdFile, Case.OtherCdFile.empty() ? Case.FileName : Case.OtherCdFile);
        EXPECT_EQ(Movie.SearchTitle, Case.SearchTitle);
    }
}

TEST(GetCdNumber, TwinsPointAtEachOther)
{
    TMovieInfo First, Second;
    First.SetFileName("/films/Brazil part1.mkv");
    Second.SetFileName(First.OtherCdFile);
    EXPECT_EQ(Second.CdNumber, 2);
    EXPECT_EQ(Second.OtherCdFile, First.FileName);
    EXPECT_EQ(Second.SearchTitle, First.SearchTitle);
}

TEST(CleanTitle, KeepsPlainLowerCaseWords)
{
    const std::pair<std::string, std::string> Cases[] = {
        {"L'Âge de glace 2", "l'age de glace 2"},
        {"Spider-Man: No Way Home", "spider man no way home"},
        {"Cœur", "c ur"},
        {"  Les   Évadés\t(1994)  ", "les evades 1994"},
        {"?! -- ...", ""},
        {"", ""},
    };
    for (const auto& [Input, Expected] : Cases)
        EXPECT_EQ(CleanTitle(Input), Expected) << Input;
}

TEST(MakeMovieDir, NamesAndCreatesTheLibraryFolder)
{
    TempFolder Temp;
    struct
    {
        std::string Title, Year;
        int Code;
        std::string Base, Expected;
    } Cases[] = {
        {"Le Parrain", "1972", 1234, Temp / "@Vantry", "Le Parrain (1972) #1234"},
        {"Le Parrain", "", 1234, Temp / "@Vantry/", "Le Parrain #1234"},
        {"Face / Off", "1997", 42, Temp / "@Vantry", "Face Off (1997) #42"},
        {"../../etc: \"passwd\"", "", 7, Temp / "deep/er/@Vantry", "....etc passwd #7"},
    };
    for (const auto& Case : Cases) {
        TMovieInfo Movie;
        Movie.Title = Case.Title;
        Movie.ProductionYear = Case.Year;
        Movie.Code = Case.Code;
        MakeMovieDir(Movie, Case.Base);
        const std::string Base = Case.Base.back() == '/' ? Case.Base : Case.Base + "/";
        EXPECT_EQ(Movie.MovieDir, Base + Case.Expected);
        EXPECT_TRUE(std::filesystem::is_directory(Movie.MovieDir)) << Movie.MovieDir;
        // An existing folder is taken as it is.
        EXPECT_NO_THROW(MakeMovieDir(Movie, Case.Base));
    }
}

TEST(MakeMovieDir, FailureGivesTheSystemMessage)
{
    TempFolder Temp;
    const std::string Blocker = Temp.Write("@Vantry", "a file, not a folder");
    TMovieInfo Movie;
    Movie.Title = "Alien";
    Movie.Code = 8;
    try {
        MakeMovieDir(Movie, Blocker);
        FAIL() << "no error";
    } catch (const EDDKError& Error) {
        EXPECT_EQ(Error.what(), DDKSysErrorMessage(ENOTDIR));
    }
    EXPECT_EQ(Movie.MovieDir, Blocker + "/Alien #8");
}

TEST(MovieValues, RuntimeAndAnswerKind)
{
    const std::pair<int, std::string> Runtimes[] = {
        {95, "1h35"}, {0, "0h00"}, {600, "10h00"}, {59, "0h59"}, {61, "1h01"}};
    for (const auto& [Minutes, Expected] : Runtimes)
        EXPECT_EQ(GetRuntime(Minutes), Expected);

    EXPECT_TRUE(IsJsonStream("{\"movie\":{}}"));
    EXPECT_FALSE(IsJsonStream("<?xml version=\"1.0\"?><movie/>"));
    EXPECT_FALSE(IsJsonStream(" {}"));
    EXPECT_FALSE(IsJsonStream(""));
}

TEST(TMovieList, OwnsItsRecordsAndChecksIndexes)
{
    TMovieList List;
    for (int Code : {10, 20, 30}) {
        auto Movie = std::make_unique<TMovieInfo>();
        Movie->Code = Code;
        List.Add(std::move(Movie));
    }
    List.Delete(1);
    ASSERT_EQ(List.Count(), 2);
    EXPECT_EQ(List.Items(1).Code, 30);
    EXPECT_THROW(List.Items(2), EDDKError);
    EXPECT_THROW(List.Items(-1), EDDKError);
    EXPECT_THROW(List.Delete(2), EDDKError);
}

} // namespace
