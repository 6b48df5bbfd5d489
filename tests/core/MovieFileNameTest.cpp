#include "MovieFileName.h"

#include "DDKError.h"
#include "DDKSystem.h"
#include "TempFolder.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

TEST(GetCdNumber, FindsThePartMarkerAndTheTwinFile)
{
    const std::string Huge(3000, 'x');
    const struct
    {
        std::string FileName;
        int CdNumber;
        std::string OtherCdFile; // "" when it is the file itself
        std::string SearchTitle;
    } Cases[] = {
        {"/f/Le Parrain.avi", 0, "", "le parrain"},
        {"/f/Le Parrain.CD1.avi", 1, "/f/Le Parrain.CD2.avi", "le parrain"},
        {"/f/Alien [2].mkv", 2, "/f/Alien [1].mkv", "alien"},
        {"/f/Alien (1].mkv", 1, "/f/Alien (2].mkv", "alien"},
        {"/f/Film_part2.avi", 2, "/f/Film_part1.avi", "film"},
        {"/f/Film.part1.cd2.avi", 2, "/f/Film.part1.cd1.avi", "film part1"}, // cd is tried first
        {"/f/Le Parrain (1972) [CD2] #1234.avi", 2, "/f/Le Parrain (1972) [CD1] #1234.avi",
         "le parrain 1972 1234"},
        // Markers at the start, glued to letters or digits, a third part, a
        // bracket not before the extension: none counts.
        {"/f/cd1.avi", 0, "", "cd1"},
        {"/f/Filmcd1.avi", 0, "", "filmcd1"},
        {"/f/Film.cd12.avi", 0, "", "film cd12"},
        {"/f/Film (1) vo.avi", 0, "", "film 1 vo"},
        // Without extension.
        {"/f.old/Matrix", 0, "", "matrix"},
        // A byte that is not UTF-8 separates words and leaves the marker alone.
        {"/f/Caf\xE9 noir.cd2.avi", 2, "/f/Caf\xE9 noir.cd1.avi", "caf noir"},
        // A very long name keeps all of its characters in the twin's name.
        {"/f/" + Huge + ".cd1.avi", 1, "/f/" + Huge + ".cd2.avi", Huge},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.FileName.substr(0, 80));
        TMovieInfo Movie;
        Movie.SetFileName(Case.FileName);
        EXPECT_EQ(Movie.CdNumber, Case.CdNumber);
        EXPECT_EQ(Movie.OtherCdFile, Case.OtherCdFile.empty() ? Case.FileName : Case.OtherCdFile);
        EXPECT_EQ(Movie.SearchTitle, Case.SearchTitle);
    }
}

TEST(CleanTitle, KeepsPlainLowerCaseWords)
{
    const std::pair<std::string, std::string> Cases[] = {
        {"L'Âge de glace 2", "l'age de glace 2"},
        {"Spider-Man: No Way Home", "spider man no way home"},
        {"Cœur", "c ur"},
        {"  Les   Évadés\t(1994)  ", "les evades 1994"},
        {"?! -- ...", ""},
    };
    for (const auto& [Input, Expected] : Cases)
        EXPECT_EQ(CleanTitle(Input), Expected) << Input;
}

TEST(MakeMovieDir, NamesAndCreatesTheLibraryFolder)
{
    TempFolder Temp;
    const struct
    {
        std::string Title, Year;
        int Code;
        std::string Base, Expected; // below Temp
    } Cases[] = {
        {"Le Parrain", "1972", 1234, "@Vantry/", "@Vantry/Le Parrain (1972) #1234"},
        {"Face / Off", "1997", 42, "@Vantry", "@Vantry/Face Off (1997) #42"},
        // The title cannot lead out of the library.
        {"../../etc: \"passwd\"", "", 7, "deep/@Vantry", "deep/@Vantry/....etc passwd #7"},
    };
    for (const auto& Case : Cases) {
        TMovieInfo Movie;
        Movie.Title = Case.Title;
        Movie.ProductionYear = Case.Year;
        Movie.Code = Case.Code;
        MakeMovieDir(Movie, Temp / Case.Base);
        EXPECT_EQ(Movie.MovieDir, Temp / Case.Expected);
        EXPECT_TRUE(std::filesystem::is_directory(Movie.MovieDir)) << Movie.MovieDir;
    }

    TMovieInfo Movie;
    Movie.Title = "Alien";
    Movie.Code = 8;
    const std::string Blocker = Temp.Write("file", "not a folder");
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
    for (const auto& [Minutes, Expected] : {std::pair{95, "1h35"}, {0, "0h00"}, {600, "10h00"}, {61, "1h01"}})
        EXPECT_EQ(GetRuntime(Minutes), Expected);

    EXPECT_TRUE(IsJsonStream("{\"movie\":{}}"));
    EXPECT_FALSE(IsJsonStream("<?xml version=\"1.0\"?>"));
    EXPECT_FALSE(IsJsonStream(""));
}

} // namespace
