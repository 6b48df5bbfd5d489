// Movie folder, program folders and fake services as a user's first synchronisation meets them.
#pragma once

#include "FakeServices.h"
#include "Resources.h"
#include "ServiceSettings.h"
#include "TempFolder.h"
#include "UnitConfig.h"
#include "UnitMetadata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

inline const std::string JardinDir = "Le Jardin oublié (1972) #12345";
inline const std::string AlienDir = "Alien, le huitième passager (1979) #2001";
inline const std::string AmelieDir = "Amélie & Nino Paris (2001) #3003";

inline const auto SynchData = [](const std::string& Name) { return VANTRY_TEST_DATA "/synch/" + Name; };
inline const auto AnswerData = [](const std::string& Name) { return VANTRY_TEST_DATA "/answers/" + Name; };

inline std::string Playlist(std::initializer_list<std::string> Files)
{
    std::string Xml = "<asx version=\"3.0\"><param name=\"encoding\" value=\"UTF-8\"/>";
    for (const std::string& File : Files)
        Xml += "<entry><title>T</title><ref href=\"" + File + "\"/></entry>";
    return Xml + "</asx>";
}

inline std::vector<std::string> PlaylistEntries(const std::string& AsxFile)
{
    TDDKStringList Entries;
    TMetadata().ReadAsxEntries(AsxFile, Entries);
    std::vector<std::string> Result;
    for (const auto& Entry : Entries)
        Result.push_back(Entry.String);
    return Result;
}

// How many of the lines hold Part.
inline long CountHolding(const std::vector<std::string>& Lines, const std::string& Part)
{
    return std::count_if(Lines.begin(), Lines.end(),
                         [&Part](const std::string& Line) { return Line.find(Part) != std::string::npos; });
}

class TSynchScenario
{
public:
    TSynchScenario() : FSavedConfig(Config)
    {
        if (const char* Home = std::getenv("XDG_CONFIG_HOME"))
            FSavedConfigHome = Home;
        ::setenv("XDG_CONFIG_HOME", (Temp / "config").c_str(), 1);
        Config = TConfig(Temp.Write("app/vantry", "program"));
        Temp.MakeFolder("Films");
    }

    ~TSynchScenario()
    {
        Config = FSavedConfig;
        if (FSavedConfigHome)
            ::setenv("XDG_CONFIG_HOME", FSavedConfigHome->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }

    void CreateMovieFiles() const // old ones removed
    {
        std::filesystem::remove_all(MovieDir());
        Temp.Write("Films/Le Jardin oublie 1972 DVDRip XviD FRENCH.avi", "movie 12345"); // noise in the words
        Temp.Write("Films/Alien [CD1].avi", "movie 2001 part 1");
        Temp.Write("Films/Alien [CD2].avi", "movie 2001 part 2");
        Temp.Write("Films/Divers/amelie nino #3003.mkv", "movie 3003"); // a code, in a subfolder
        Temp.Write("Films/avatar 2009.avi", "movie avatar");            // two results fit: an anomaly
        Temp.Write("Films/Les Évadés.avi", "movie unknown");            // no result at all: an anomaly
        Temp.Write("Films/DVDRip XviD.avi", "movie noise");             // nothing to search: a failure
    }

    void ScriptServices() // answers for every request the movies lead to
    {
        const std::string Search = "/rest/v3/search", Fiche = "/rest/v3/movie", Tmdb = "/3/search/movie";
        for (const auto& [Host, Path, File, Query] : std::vector<std::array<std::string, 4>>{
                 {AllocineApiHost, Search, SynchData("allocine-search-jardin.json"),
                  "q=le+jardin+oublie+1972&"},
                 {AllocineApiHost, Search, SynchData("allocine-search-alien.json"), "q=alien&"},
                 {AllocineApiHost, Search, AnswerData("allocine-search-avatar.json"), "q=avatar+2009&"},
                 {AllocineApiHost, Search, AnswerData("allocine-search-noresult.json"), ""},
                 {AllocineApiHost, Fiche, AnswerData("allocine-movie-12345.json"), "code=12345&"},
                 {AllocineApiHost, Fiche, SynchData("allocine-movie-2001.json"), "code=2001&"},
                 {AllocineApiHost, Fiche, SynchData("allocine-movie-3003.json"), "code=3003&"},
                 {AllocineApiHost, Fiche, SynchData("allocine-movie-61282.json"), "code=61282&"},
                 {"images.allocine.test", "/medias/*", SynchData("poster-12345.jpg"), ""},
                 {TmdbApiHost, Tmdb, SynchData("tmdb-search-lost-garden.json"), "query=the+lost+garden&"},
                 {TmdbApiHost, Tmdb, AnswerData("tmdb-search-avatar.json"), "query=avatar&"},
                 {TmdbApiHost, Tmdb, AnswerData("tmdb-search-empty.json"), ""},
                 {TmdbApiHost, "/3/movie/4242", SynchData("tmdb-movie-4242.json"), ""},
                 {TmdbApiHost, "/3/movie/19995", AnswerData("tmdb-movie-19995.json"), ""},
                 {TmdbImageHost, "/t/p/original/*", SynchData("backdrop-garden.jpg"), ""},
             })
            Fake.Default(Host, Path, FakeAnswer::File(File), Query);
        Fake.Default("images.allocine.test", "/r_75_106/*", FakeAnswer::Text("thumbnail"));
    }

    std::string MovieDir() const { return Temp / "Films"; }
    std::string LibraryDir() const { return MovieDir() + "/@Vantry"; }
    std::string DvdInfoCacheDir() const { return Temp / "config/Microsoft/eHome/DvdInfoCache"; }
    std::string Movie(const std::string& Name) const { return MovieDir() + "/" + Name; }
    std::string Library(const std::string& Name) const { return LibraryDir() + "/" + Name; }

    std::vector<std::string> LibraryFolders() const // sorted
    {
        std::vector<std::string> Names;
        std::error_code Error;
        for (const auto& Entry : std::filesystem::directory_iterator(LibraryDir(), Error))
            if (Entry.is_directory())
                Names.push_back(Entry.path().filename().string());
        std::sort(Names.begin(), Names.end());
        return Names;
    }

    // The journal line of each movie file a renaming run renames.
    std::vector<std::string> RenameLines() const
    {
        const std::string Alien = "Alien, le huitième passager (Alien) (09-1979) (Ridley Scott) (Science "
                                  "fiction, Épouvante-horreur)";
        std::vector<std::string> Lines;
        for (const auto& [Old, Code, New] : std::vector<std::array<std::string, 3>>{
                 {"Alien [CD1].avi", "2001", Alien + " [CD1] #2001.avi"},
                 {"Alien [CD2].avi", "2001", Alien + " [CD2] #2001.avi"},
                 {"Divers/amelie nino #3003.mkv", "3003", "Amélie Nino Paris (2001) () #3003.mkv"},
                 {"Le Jardin oublie 1972 DVDRip XviD FRENCH.avi", "12345",
                  "Le Jardin oublié (The Lost Garden) (10-1972) (Éric Rohmer) (Drame, Comédie) #12345.avi"}})
            Lines.push_back("\"" + Movie(Old) + "\" /OK #" + Code + " \"" + New + "\"");
        return Lines;
    }

    bool IsNoiseFailure(const std::string& Line) const
    {
        return Line.starts_with("\"" + Movie("DVDRip XviD.avi") + "\" /ERROR #-1 > ");
    }

    // Every identifiable movie has its whole library folder, every other its
    // record. Interrupted: a kill after the backdrop may leave no TMDb record.
    void ExpectCompleteLibrary(bool Interrupted = false) const
    {
        const std::string Jardin = Library(JardinDir), Alien = Library(AlienDir), Amelie = Library(AmelieDir);
        const std::string Poster = ReadWholeFile(SynchData("poster-12345.jpg"));
        const std::string Backdrop = ReadWholeFile(SynchData("backdrop-garden.jpg"));
        EXPECT_EQ(LibraryFolders(), (std::vector<std::string>{AlienDir, AmelieDir, JardinDir}));
        std::size_t Linked = 0;
        for (const auto& [Dir, Answer, Picture] : std::vector<std::array<std::string, 3>>{
                 {Jardin, AnswerData("allocine-movie-12345.json"), Poster},
                 {Alien, SynchData("allocine-movie-2001.json"), std::string(VantryResource_nofolder600())},
                 {Amelie, SynchData("allocine-movie-3003.json"), Poster}}) {
            EXPECT_EQ(ReadWholeFile(Dir + "/allocine.json"), ReadWholeFile(Answer)) << Dir;
            EXPECT_EQ(ReadWholeFile(Dir + "/folder.jpg"), Picture) << Dir;
            EXPECT_EQ(ReadWholeFile(Dir + "/movie.strm"), "movie.asx");
            for (const char* Name : {"/movie.nfo", "/movie.xml", "/wmc.dvdid.xml"})
                EXPECT_GT(std::filesystem::file_size(Dir + Name), 0u) << Dir << Name;
            for (const std::string& Entry : PlaylistEntries(Dir + "/movie.asx"))
                Linked += std::filesystem::exists(Entry);
        }
        EXPECT_EQ(Linked, 4u); // every playlist entry names an existing movie file
        for (const char* Code : {"12345", "2001", "3003"})
            EXPECT_GT(std::filesystem::file_size(DvdInfoCacheDir() + "/" + Code + ".xml"), 0u);

        if (!Interrupted || std::filesystem::exists(Jardin + "/tmdb.json")) {
            EXPECT_EQ(ReadWholeFile(Jardin + "/tmdb.json"), ReadWholeFile(SynchData("tmdb-movie-4242.json")));
        }
        EXPECT_EQ(ReadWholeFile(Jardin + "/backdrop.jpg"), Backdrop);
        EXPECT_EQ(ReadWholeFile(Jardin + "/fanart.jpg"), Backdrop);
        for (const char* Record : {"/tmdb-2001.json", "/tmdb-3003.json", "/allocine-avatar 2009.avi.json",
                                   "/allocine-Les Évadés.avi.json"})
            EXPECT_GT(std::filesystem::file_size(Config.AnomalyDir + Record), 0u) << Record;
    }

    TempFolder Temp;
    FakeServices Fake;

private:
    TConfig FSavedConfig;
    std::optional<std::string> FSavedConfigHome;
};
