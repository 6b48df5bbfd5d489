#include "SynchScenario.h"

#include "Resources.h"
#include "ServiceSettings.h"
#include "UnitMetadata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

TTreeState ReadTreeState(const std::string& Folder)
{
    TTreeState State;
    std::error_code Error;
    for (fs::recursive_directory_iterator It(Folder, Error), End; !Error && It != End; It.increment(Error)) {
        struct stat Status
        {
        };
        if (::lstat(It->path().c_str(), &Status) == 0)
            State[It->path().string()] = {std::uintmax_t(Status.st_size),
                                          std::int64_t(Status.st_ctim.tv_sec) * 1000000000 +
                                              Status.st_ctim.tv_nsec,
                                          std::uint64_t(Status.st_ino)};
    }
    return State;
}

std::vector<std::string> PlaylistEntries(const std::string& AsxFile)
{
    TDDKStringList Entries;
    TMetadata().ReadAsxEntries(AsxFile, Entries);
    std::vector<std::string> Result;
    for (const auto& Entry : Entries)
        Result.push_back(Entry.String);
    return Result;
}

std::string SynchData(const std::string& Name)
{
    return std::string(VANTRY_TEST_DATA "/synch/") + Name;
}
std::string AnswerData(const std::string& Name)
{
    return std::string(VANTRY_TEST_DATA "/answers/") + Name;
}

TSynchScenario::TSynchScenario() : FSavedConfig(Config)
{
    if (const char* Home = std::getenv("XDG_CONFIG_HOME"))
        FSavedConfigHome = Home;
    ::setenv("XDG_CONFIG_HOME", (Temp / "config").c_str(), 1);
    Config = TConfig(Temp.Write("app/vantry", "program"));
    Temp.MakeFolder("Films");
}

TSynchScenario::~TSynchScenario()
{
    Config = FSavedConfig;
    if (FSavedConfigHome)
        ::setenv("XDG_CONFIG_HOME", FSavedConfigHome->c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

void TSynchScenario::CreateMovieFiles() const
{
    fs::remove_all(MovieDir());
    Temp.Write("Films/Le Jardin oublie 1972 DVDRip XviD FRENCH.avi", "movie 12345"); // noise in the words
    Temp.Write("Films/Alien [CD1].avi", "movie 2001 part 1");
    Temp.Write("Films/Alien [CD2].avi", "movie 2001 part 2");
    Temp.Write("Films/Divers/amelie nino #3003.mkv", "movie 3003"); // a code, in a subfolder
    Temp.Write("Films/avatar 2009.avi", "movie avatar");            // two results fit: an anomaly
    Temp.Write("Films/Les Évadés.avi", "movie unknown");            // no result at all: an anomaly
    Temp.Write("Films/DVDRip XviD.avi", "movie noise");             // nothing to search: a failure
}

void TSynchScenario::ScriptServices()
{
    const auto Allocine = [this](const char* Path, const std::string& File, const std::string& Query = "") {
        Fake.Default(AllocineApiHost, Path, FakeAnswer::File(File), Query);
    };
    Allocine("/rest/v3/search", SynchData("allocine-search-jardin.json"), "q=le+jardin+oublie+1972&");
    Allocine("/rest/v3/search", SynchData("allocine-search-alien.json"), "q=alien&");
    Allocine("/rest/v3/search", AnswerData("allocine-search-avatar.json"), "q=avatar+2009&");
    Allocine("/rest/v3/search", AnswerData("allocine-search-noresult.json"));
    Allocine("/rest/v3/movie", AnswerData("allocine-movie-12345.json"), "code=12345&");
    for (const std::string Code : {"2001", "3003", "61282"})
        Allocine("/rest/v3/movie", SynchData("allocine-movie-" + Code + ".json"), "code=" + Code + "&");
    Fake.Default("images.allocine.test", "/medias/*", FakeAnswer::File(SynchData("poster-12345.jpg")));
    Fake.Default("images.allocine.test", "/r_75_106/*", FakeAnswer::Text("thumbnail"));

    const std::string TmdbSearch = "/3/search/movie";
    Fake.Default(TmdbApiHost, TmdbSearch, FakeAnswer::File(SynchData("tmdb-search-lost-garden.json")),
                 "query=the+lost+garden&");
    Fake.Default(TmdbApiHost, TmdbSearch, FakeAnswer::File(AnswerData("tmdb-search-avatar.json")),
                 "query=avatar&");
    Fake.Default(TmdbApiHost, TmdbSearch, FakeAnswer::File(AnswerData("tmdb-search-empty.json")));
    Fake.Default(TmdbApiHost, "/3/movie/4242", FakeAnswer::File(SynchData("tmdb-movie-4242.json")));
    Fake.Default(TmdbApiHost, "/3/movie/19995", FakeAnswer::File(AnswerData("tmdb-movie-19995.json")));
    Fake.Default(TmdbImageHost, "/t/p/original/*", FakeAnswer::File(SynchData("backdrop-garden.jpg")));
}

std::vector<std::string> TSynchScenario::LibraryFolders() const
{
    std::vector<std::string> Names;
    std::error_code Error;
    for (const auto& Entry : fs::directory_iterator(LibraryDir(), Error))
        if (Entry.is_directory())
            Names.push_back(Entry.path().filename().string());
    std::sort(Names.begin(), Names.end());
    return Names;
}

bool TSynchScenario::IsNoiseFailure(const std::string& Line) const
{
    return Line.starts_with("\"" + Movie("DVDRip XviD.avi") + "\" /ERROR #-1 > ");
}

void TSynchScenario::ExpectCompleteLibrary(bool Interrupted) const
{
    const std::string Jardin = Library(JardinDir), Alien = Library(AlienDir), Amelie = Library(AmelieDir);
    const std::string Poster = ReadWholeFile(SynchData("poster-12345.jpg"));
    const std::string Backdrop = ReadWholeFile(SynchData("backdrop-garden.jpg"));
    EXPECT_EQ(LibraryFolders(), (std::vector<std::string>{AlienDir, AmelieDir, JardinDir}));
    EXPECT_EQ(ReadWholeFile(Jardin + "/allocine.json"),
              ReadWholeFile(AnswerData("allocine-movie-12345.json")));
    EXPECT_EQ(ReadWholeFile(Alien + "/allocine.json"), ReadWholeFile(SynchData("allocine-movie-2001.json")));
    EXPECT_EQ(ReadWholeFile(Amelie + "/allocine.json"), ReadWholeFile(SynchData("allocine-movie-3003.json")));
    EXPECT_EQ(ReadWholeFile(Jardin + "/folder.jpg"), Poster);
    EXPECT_EQ(ReadWholeFile(Alien + "/folder.jpg"), std::string(VantryResource_nofolder600()));
    EXPECT_EQ(ReadWholeFile(Amelie + "/folder.jpg"), Poster);

    std::size_t Linked = 0;
    for (const std::string& Dir : {Jardin, Alien, Amelie}) {
        EXPECT_EQ(ReadWholeFile(Dir + "/movie.strm"), "movie.asx");
        for (const char* Name : {"/movie.nfo", "/movie.xml", "/wmc.dvdid.xml"})
            EXPECT_GT(fs::file_size(Dir + Name), 0u) << Dir << Name;
        for (const std::string& Entry : PlaylistEntries(Dir + "/movie.asx")) {
            EXPECT_TRUE(fs::exists(Entry)) << Entry;
            ++Linked;
        }
    }
    EXPECT_EQ(Linked, 4u);
    for (const char* Code : {"12345", "2001", "3003"})
        EXPECT_GT(fs::file_size(DvdInfoCacheDir() + "/" + Code + ".xml"), 0u);

    if (!Interrupted || fs::exists(Jardin + "/tmdb.json")) {
        EXPECT_EQ(ReadWholeFile(Jardin + "/tmdb.json"), ReadWholeFile(SynchData("tmdb-movie-4242.json")));
    }
    EXPECT_EQ(ReadWholeFile(Jardin + "/backdrop.jpg"), Backdrop);
    EXPECT_EQ(ReadWholeFile(Jardin + "/fanart.jpg"), Backdrop);
    for (const char* Record : {"/tmdb-2001.json", "/tmdb-3003.json", "/allocine-avatar 2009.avi.json",
                               "/allocine-Les Évadés.avi.json"})
        EXPECT_GT(fs::file_size(Config.AnomalyDir + Record), 0u) << Record;
}
