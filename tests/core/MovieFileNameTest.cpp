#include "MovieFileName.h"

#include "DDKError.h"
#include "TempFolder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <tuple>

TEST(GetCdNumber, FindsThePartMarkerAndTheTwinFile)
{
    const std::string Huge(3000, 'x');
    // File name, part, twin ("" when it is the file itself), search title.
    const std::tuple<std::string, int, std::string, std::string> Cases[] = {
        {"/f/  Les   Évadés\t(1994) ?!.mkv", 0, "", "les evades 1994"},
        {"/f/Cœur - L'Âge de glace.avi", 0, "", "c ur l'age de glace"},
        {"/f/Le Parrain.CD1.avi", 1, "/f/Le Parrain.CD2.avi", "le parrain"},
        {"/f/Alien [2].mkv", 2, "/f/Alien [1].mkv", "alien"},
        {"/f/Film_part2.avi", 2, "/f/Film_part1.avi", "film"},
        {"/f/Film.part1.cd2.avi", 2, "/f/Film.part1.cd1.avi", "film part1"}, // cd is tried first
        {"/f/Le Parrain (1972) [CD2] #1234.avi", 2, "/f/Le Parrain (1972) [CD1] #1234.avi",
         "le parrain 1972 1234"},
        {"/f/cd1.avi", 0, "", "cd1"}, // markers at the start, with more digits, or not last
        {"/f/Film.cd12.avi", 0, "", "film cd12"},
        {"/f/Film (1) vo.avi", 0, "", "film 1 vo"},
        {"/f.old/Matrix", 0, "", "matrix"},                      // no extension
        {"/f/Straße ﬁlm 'n' K9.avi", 0, "", "stra e lm 'n' k9"}, // only ASCII letters make words
        {"/f/Caf\xE9 noir.cd2.avi", 2, "/f/Caf\xE9 noir.cd1.avi", "caf noir"}, // not UTF-8: a separator
        {"/f/" + Huge + ".cd1.avi", 1, "/f/" + Huge + ".cd2.avi", Huge},
    };
    for (const auto& [FileName, CdNumber, OtherCdFile, SearchTitle] : Cases) {
        SCOPED_TRACE(FileName.substr(0, 80));
        TMovieInfo Movie;
        Movie.SetFileName(FileName);
        EXPECT_EQ(Movie.CdNumber, CdNumber);
        EXPECT_EQ(Movie.OtherCdFile, OtherCdFile.empty() ? FileName : OtherCdFile);
        EXPECT_EQ(Movie.SearchTitle, SearchTitle);
    }
}

TEST(MakeMovieDir, NamesAndCreatesTheLibraryFolder)
{
    TempFolder Temp;
    // Title, year, code, library folder and movie folder below Temp.
    const std::tuple<std::string, std::string, int, std::string, std::string> Cases[] = {
        {"Le Parrain", "1972", 1234, "@Vantry/", "@Vantry/Le Parrain (1972) #1234"},
        {"Face / Off", "1997", 42, "@Vantry", "@Vantry/Face Off (1997) #42"},
        // The title can neither lead out of the library nor hide the folder.
        {"../../etc: \"passwd\"", "", 7, "deep/@Vantry", "deep/@Vantry/etc passwd #7"},
    };
    for (const auto& [Title, Year, Code, Base, Expected] : Cases) {
        TMovieInfo Movie;
        Movie.Title = Title;
        Movie.ProductionYear = Year;
        Movie.Code = Code;
        MakeMovieDir(Movie, Temp / Base);
        EXPECT_EQ(Movie.MovieDir, Temp / Expected);
        EXPECT_TRUE(std::filesystem::is_directory(Movie.MovieDir)) << Movie.MovieDir;
    }

    TMovieInfo Movie;
    Movie.Title = "Alien";
    Movie.Code = 8;
    EXPECT_THROW(MakeMovieDir(Movie, Temp.Write("file", "not a folder")), EDDKError);
}
