// Whole synchronisations of a movie folder against the fake services: what
// lands in the library, the DvdInfoCache folder, the anomaly records, the
// poster cache and the log; then the runs that must find nothing to do.
#include "SynchRun.h"
#include "SynchScenario.h"

#include "DDKStrings.h"
#include "Resources.h"
#include "ServiceSettings.h"
#include "UnitMetadata.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

bool Exists(const std::string& Path)
{
    return std::filesystem::exists(Path);
}

std::string Joined(const std::vector<std::string>& Lines)
{
    std::string Text;
    for (const auto& Line : Lines)
        Text += Line + "\n";
    return Text;
}

std::vector<std::string> PlaylistEntries(const std::string& AsxFile)
{
    TMetadata Metadata;
    TDDKStringList Entries;
    Metadata.ReadAsxEntries(AsxFile, Entries);
    std::vector<std::string> Result;
    for (const auto& Entry : Entries)
        Result.push_back(Entry.String);
    return Result;
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
    std::size_t RequestCount() const { return Scenario.Fake.Requests().size(); }

    // Every file and folder that synchronisations write.
    TTreeState WrittenState() const
    {
        TTreeState State = ReadTreeState(Scenario.MovieDir());
        for (const std::string& Folder : {Scenario.DvdInfoCacheDir(), Config.AnomalyDir, Config.CacheDir})
            State.merge(ReadTreeState(Folder));
        return State;
    }

    // A run after which nothing changes: no request, no file written, and
    // only the failure line of the file that can never be searched.
    void ExpectQuietRun(bool RenameFiles)
    {
        const std::size_t Before = RequestCount();
        const TTreeState State = WrittenState();
        const auto Lines = RunSynchronisation(Scenario.MovieDir(), RenameFiles);
        EXPECT_EQ(RequestCount(), Before);
        EXPECT_EQ(WrittenState(), State);
        ASSERT_EQ(Lines.size(), 1u) << Joined(Lines);
        EXPECT_TRUE(Lines[0].starts_with("\"" + Scenario.Movie("DVDRip XviD.avi") + "\" /ERROR #-1 > "));
    }
};

TEST_F(EndToEndTest, FirstRunFillsTheLibraryAndTheNextOneDoesNothing)
{
    const auto Lines = RunSynchronisation(Scenario.MovieDir(), false);
    ASSERT_EQ(Lines.size(), 1u) << Joined(Lines);
    EXPECT_TRUE(Lines[0].starts_with("\"" + Scenario.Movie("DVDRip XviD.avi") + "\" /ERROR #-1 > "));

    Scenario.ExpectCompleteLibrary();
    const std::string Jardin = Library(JardinDir), Alien = Library(AlienDir);
    EXPECT_EQ(PlaylistEntries(Jardin + "/movie.asx"),
              std::vector<std::string>{Scenario.Movie("Le Jardin oublie 1972 DVDRip XviD FRENCH.avi")});
    EXPECT_EQ(
        PlaylistEntries(Alien + "/movie.asx"),
        (std::vector<std::string>{Scenario.Movie("Alien [CD1].avi"), Scenario.Movie("Alien [CD2].avi")}));
    // Unresolved movies wait as records; the ambiguous search cached its posters.
    EXPECT_FALSE(Exists(Config.AnomalyDir + "/allocine-DVDRip XviD.avi.json"));
    EXPECT_FALSE(Exists(Config.AnomalyDir + "/tmdb-12345.json"));
    EXPECT_EQ(ReadWholeFile(Config.CacheDir + "/allocine-61282.jpg"), "thumbnail");

    // One search per word list, shorter only after an answer without result;
    // the second part borrowed its first part's answer.
    const auto& Fake = Scenario.Fake;
    EXPECT_EQ(Fake.Count(AllocineApiHost, "/rest/v3/search"), 5);
    EXPECT_EQ(Fake.Count(AllocineApiHost, "/rest/v3/movie"), 3);
    EXPECT_EQ(Fake.Count(TmdbApiHost, "/3/search/movie"), 3);
    EXPECT_EQ(Fake.Count(TmdbApiHost, "/3/movie/4242"), 1);
    EXPECT_EQ(RequestCount(), 16u);

    ExpectQuietRun(false);
}

TEST_F(EndToEndTest, RenamingJournalsEachFileOnceAndFollowsTheNewNames)
{
    RunSynchronisation(Scenario.MovieDir(), false);
    const auto Lines = RunSynchronisation(Scenario.MovieDir(), true);

    const std::string JardinName =
        "Le Jardin oublié (The Lost Garden) (10-1972) (Éric Rohmer) (Drame, Comédie) #12345.avi";
    const std::string AlienName =
        "Alien, le huitième passager (Alien) (09-1979) (Ridley Scott) (Science fiction, Épouvante-horreur)";
    const std::string AmelieName = "Amélie Nino Paris (2001) () #3003.mkv";
    const std::vector<std::string> Expected = {
        "\"" + Scenario.Movie("Alien [CD1].avi") + "\" /OK #2001 \"" + AlienName + " [CD1] #2001.avi\"",
        "\"" + Scenario.Movie("Alien [CD2].avi") + "\" /OK #2001 \"" + AlienName + " [CD2] #2001.avi\"",
        "\"" + Scenario.Movie("Divers/amelie nino #3003.mkv") + "\" /OK #3003 \"" + AmelieName + "\"",
    };
    // The walk's order follows the locale, so compare as sets.
    std::vector<std::string> Journal;
    for (const auto& Line : Lines)
        if (Line.find(" /OK #") != std::string::npos)
            Journal.push_back(Line);
    std::vector<std::string> Wanted = Expected;
    Wanted.push_back("\"" + Scenario.Movie("Le Jardin oublie 1972 DVDRip XviD FRENCH.avi") +
                     "\" /OK #12345 \"" + JardinName + "\"");
    std::sort(Journal.begin(), Journal.end());
    std::sort(Wanted.begin(), Wanted.end());
    EXPECT_EQ(Journal, Wanted);

    EXPECT_EQ(ReadWholeFile(Scenario.Movie(JardinName)), "movie 12345");
    EXPECT_EQ(ReadWholeFile(Scenario.Movie("Divers/" + AmelieName)), "movie 3003");
    EXPECT_EQ(PlaylistEntries(Library(AlienDir) + "/movie.asx"),
              (std::vector<std::string>{Scenario.Movie(AlienName + " [CD1] #2001.avi"),
                                        Scenario.Movie(AlienName + " [CD2] #2001.avi")}));
    EXPECT_EQ(Scenario.LibraryFolders(), (std::vector<std::string>{AlienDir, AmelieDir, JardinDir}));

    ExpectQuietRun(true);
}

TEST_F(EndToEndTest, MissingOrEmptyFilesAreMadeGoodFromWhatTheLibraryKeeps)
{
    RunSynchronisation(Scenario.MovieDir(), false);
    const std::string Jardin = Library(JardinDir);
    const std::string Alien = Library(AlienDir);
    Scenario.Temp.Write("Films/@Vantry/" + JardinDir + "/folder.jpg", "");
    Scenario.Temp.Write("Films/@Vantry/" + JardinDir + "/backdrop.jpg", "");
    std::filesystem::remove(Jardin + "/fanart.jpg");
    std::filesystem::remove(Jardin + "/movie.nfo");
    std::filesystem::remove(Alien + "/folder.jpg");
    const std::size_t Before = RequestCount();

    RunSynchronisation(Scenario.MovieDir(), false);
    // Only the empty poster is asked for again; "tmdb.json" ends the backdrop
    // step, after an empty copy of the empty backdrop.
    EXPECT_EQ(RequestCount(), Before + 1);
    EXPECT_EQ(ReadWholeFile(Jardin + "/folder.jpg"), ReadWholeFile(SynchData("poster-12345.jpg")));
    EXPECT_FALSE(Exists(Jardin + "/backdrop.jpg"));
    EXPECT_EQ(ReadWholeFile(Jardin + "/fanart.jpg"), "");
    EXPECT_TRUE(Exists(Jardin + "/movie.nfo"));
    EXPECT_EQ(ReadWholeFile(Alien + "/folder.jpg"), std::string(VantryResource_nofolder600()));
}

TEST_F(EndToEndTest, ResolvedAnomaliesFinishTheirMovie)
{
    RunSynchronisation(Scenario.MovieDir(), false);

    // The user chose AlloCine's movie 61282 for "avatar 2009.avi".
    TSynchJob ByCode;
    ByCode.Folder = Scenario.LibraryDir();
    ByCode.Mode = ModeAnomalyAllocine;
    ByCode.Code = 61282;
    ByCode.Movie = std::make_unique<TMovieInfo>();
    ByCode.Movie->SetFileName(Scenario.Movie("avatar 2009.avi"));
    EXPECT_EQ(RunSynchJob(std::move(ByCode)), std::vector<std::string>{});
    const std::string Avatar = Library("Avatar (2009) #61282");
    EXPECT_EQ(ReadWholeFile(Avatar + "/allocine.json"),
              ReadWholeFile(SynchData("allocine-movie-61282.json")));
    EXPECT_EQ(PlaylistEntries(Avatar + "/movie.asx"),
              std::vector<std::string>{Scenario.Movie("avatar 2009.avi")});
    // TMDb's result with the same title wins over those with other dates.
    EXPECT_EQ(ReadWholeFile(Avatar + "/tmdb.json"), ReadWholeFile(AnswerData("tmdb-movie-19995.json")));
    EXPECT_EQ(ReadWholeFile(Avatar + "/fanart.jpg"), ReadWholeFile(SynchData("backdrop-garden.jpg")));

    // The user chose TMDb's movie 19995 for Alien's backdrop.
    TSynchJob ById;
    ById.Folder = Scenario.LibraryDir();
    ById.Mode = ModeAnomalyTmdb;
    ById.Code = 19995;
    ById.Movie = std::make_unique<TMovieInfo>();
    TMetadata Metadata;
    Metadata.ReadFicheAcFile(Library(AlienDir) + "/allocine.json", *ById.Movie);
    ById.Movie->MovieDir = Library(AlienDir);
    EXPECT_EQ(RunSynchJob(std::move(ById)), std::vector<std::string>{});
    EXPECT_EQ(ReadWholeFile(Library(AlienDir) + "/tmdb.json"),
              ReadWholeFile(AnswerData("tmdb-movie-19995.json")));
    EXPECT_EQ(ReadWholeFile(Library(AlienDir) + "/backdrop.jpg"),
              ReadWholeFile(SynchData("backdrop-garden.jpg")));
}

} // namespace
