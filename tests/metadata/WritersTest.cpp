#include "MetadataTestHelpers.h"
#include "UnitMetadata.h"

#include "DDKConversion.h"
#include "DDKStrings.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

TDDKStringList List(std::initializer_list<std::pair<const char*, int>> Items)
{
    TDDKStringList List;
    for (const auto& [Name, Code] : Items)
        List.AddObject(Name, Code);
    return List;
}

TMovieInfo FullMovie()
{
    TMovieInfo Movie;
    Movie.SetFileName("/films/Les Fous.avi");
    Movie.Code = 1234;
    Movie.Title = "L'Été des \"fous\" & <les> autres";
    Movie.OriginalTitle = "Crazy Summer";
    Movie.ProductionYear = "1972";
    Movie.Runtime = 95;
    Movie.ReleaseDate = DDKEncodeDate(2010, 5, 12);
    Movie.PressRating = 3.5;
    Movie.UserRating = 4.0;
    Movie.Synopsis = "Un été brûlant, à Paris.";
    Movie.Nationalities = List({{"France", 5001}, {"Italie", 5002}});
    Movie.Genres = List({{"Comédie", 13005}, {"Drame", 13008}});
    Movie.Directors = List({{"Jean Dupont", 1}, {"Zoé Martin", 2}});
    Movie.Actors = List({{"Anne Roux", 3}, {"Marc Noël", 4}, {"Léa Petit", 5}});
    return Movie;
}

const std::pair<const char*, void (*)(TMetadata&, const std::string&, const TMovieInfo&, bool)> Writers[] = {
    {"movie.nfo", [](auto& M, auto& F, auto& V, bool O) { M.CreateNfo(F, V, O); }},
    {"movie.xml", [](auto& M, auto& F, auto& V, bool O) { M.CreateMovieXml(F, V, O); }},
    {"movie.strm", [](auto& M, auto& F, auto&, bool O) { M.CreateStrm(F, O); }},
    {"wmc.dvdid.xml", [](auto& M, auto& F, auto& V, bool O) { M.CreateDvdId(F, V.Title, V.Code, O); }},
    {"dvdinfocache.xml", [](auto& M, auto& F, auto& V, bool O) { M.CreateDvdInfoCache(F, V, O); }},
};

// The document element's child Name in the NFO file written for Movie.
std::string NfoText(const TMovieInfo& Movie, const char* Name)
{
    TempFolder Folder;
    TMetadata().CreateNfo(Folder / "movie.nfo", Movie, false);
    pugi::xml_document Document;
    EXPECT_TRUE(Document.load_file((Folder / "movie.nfo").c_str()));
    return Document.child("movie").child(Name).text().get();
}

const std::string Cd1 = "/films/Le Jardin oublié cd1.avi", Cd2 = "/films/Le Jardin oublié cd2.avi";

TMovieInfo Part(const std::string& FileName, int CdNumber = 0)
{
    TMovieInfo movie;
    movie.FileName = FileName;
    movie.CdNumber = CdNumber;
    movie.OtherCdFile = CdNumber == 1 ? Cd2 : CdNumber == 2 ? Cd1 : FileName;
    movie.Title = "Le Jardin oublié";
    return movie;
}

// The playlist's file references joined by ", ".
std::string References(TMetadata& Metadata, const std::string& Asx)
{
    TDDKStringList list;
    Metadata.ReadAsxEntries(Asx, list);
    return DDKListToString(list, -1);
}

} // namespace

TEST(Writers, EveryDocumentMatchesItsGoldenFileAndOverwriteIsHonoured)
{
    // VANTRY_UPDATE_GOLDEN=1 stores what is written instead, for a deliberate change.
    const char* Update = std::getenv("VANTRY_UPDATE_GOLDEN");
    const std::pair<const char*, TMovieInfo> Movies[] = {{"full", FullMovie()}, {"empty", TMovieInfo()}};
    TMetadata Metadata;
    for (const auto& [Kind, Movie] : Movies) {
        TempFolder Folder;
        for (const auto& [Name, Write] : Writers) {
            const std::string FileName = Folder / Name;
            const std::string Golden = VANTRY_TEST_DATA "/golden/" + std::string(Kind) + "/" + Name;
            Write(Metadata, FileName, Movie, false);
            const std::string Written = ReadWholeFile(FileName);
            if (Update && std::string(Update) == "1")
                std::ofstream(Golden, std::ios::binary | std::ios::trunc) << Written;
            EXPECT_EQ(ReadWholeFile(Golden), Written) << Golden;
            // An existing file is the user's unless Overwrite is asked.
            Folder.Write(Name, "kept");
            Write(Metadata, FileName, Movie, false);
            EXPECT_EQ(ReadWholeFile(FileName), "kept") << Name;
            Write(Metadata, FileName, Movie, true);
            EXPECT_EQ(ReadWholeFile(FileName), Written) << Name;
        }
    }
}

TEST(Writers, NfoRatingOutOfTenAndTextXmlCannotCarry)
{
    // A rating given alone counts twice; exact halves of a tenth go to the even digit.
    const std::tuple<double, double, const char*> Cases[] = {
        {4.5, 0, "9"}, {2.2, 2.1, "4.3"}, {0, 0.125, "0.2"}, {0, 0.375, "0.8"}, {0.625, 0.625, "1.2"}};
    for (const auto& [Press, User, Expected] : Cases) {
        TMovieInfo Movie;
        Movie.PressRating = Press;
        Movie.UserRating = User;
        EXPECT_EQ(NfoText(Movie, "rating"), Expected) << Press << " / " << User;
    }
    TMovieInfo Movie;
    Movie.Synopsis = "A\001B\037\tC\n\xFF\xC3 & <D> \xE2\x82\xAC" + std::string(5000, 'x');
    // Control characters but tab and line ends are dropped, bytes that are not UTF-8 replaced.
    EXPECT_EQ(NfoText(Movie, "plot"),
              "AB\tC\n\xEF\xBF\xBD\xEF\xBF\xBD & <D> \xE2\x82\xAC" + std::string(5000, 'x'));
}

TEST(Writers, XbmcSettingsAreExtendedNeverReplacedAndKeepTheUsersMarkupLinkAndPermissions)
{
    // No file yet, then files of other roots reached through a link; an ill-formed file is refused and left
    // as it was.
    const std::string Fanart = "  <fanart>\n    <add>backdrop.jpg</add>\n  </fanart>\n";
    const std::pair<const char*, std::string> Cases[] = {
        {nullptr, "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<advancedsettings>\n" + Fanart +
                      "</advancedsettings>\n"},
        {"<advancedsettings><loglevel>1</loglevel><fanart><add>x.jpg</add></fanart></advancedsettings>",
         "\xEF\xBB\xBF<advancedsettings>\n  <loglevel>1</loglevel>\n  <fanart>\n    <add>x.jpg</add>\n"
         "    <add>backdrop.jpg</add>\n  </fanart>\n</advancedsettings>\n"},
        {"<?xml version=\"1.0\"?>\n<!DOCTYPE settings>\n<!-- mes réglages -->\n<?xbmc garder?>\n"
         "<settings><!-- son --><loglevel>1</loglevel></settings>\n",
         "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!DOCTYPE settings>\n<!-- mes réglages -->\n<?xbmc garder?>\n"
         "<settings>\n  <!-- son -->\n  <loglevel>1</loglevel>\n" +
             Fanart + "</settings>\n"},
        {"<advancedsettings><fanart>", ""},
    };
    for (const auto& [Before, After] : Cases) {
        TempFolder Folder;
        const std::string Link = Folder / "XBMC/userdata/advancedsettings.xml";
        const std::string Real = Before ? Folder.Write("mine/advancedsettings.xml", Before) : Link;
        if (Before) {
            std::filesystem::permissions(Real, std::filesystem::perms(0640));
            Folder.MakeFolder("XBMC/userdata");
            std::filesystem::create_symlink(Real, Link);
        }
        // Every start of the program calls it: the second call must find the entry.
        const std::string Error = ErrorOf([&] {
            TMetadata().CreateXbmcSettings(Link);
            TMetadata().CreateXbmcSettings(Link);
        });
        EXPECT_EQ(Error.starts_with("[TMetadata.CreateXbmcSettings] "), After.empty()) << Error;
        EXPECT_EQ(ReadWholeFile(Real), After.empty() ? Before : After);
        EXPECT_TRUE(!Before || (std::filesystem::is_symlink(Link) &&
                                std::filesystem::status(Real).permissions() == std::filesystem::perms(0640)));
    }
}

TEST(Playlist, BytesPartOrderRenamingAndRefusals)
{
    TempFolder folder;
    TMetadata metadata;
    const std::string asx = folder / "movie.asx";
    metadata.CreateAsx(asx, Part("/films/Été & co.mkv"), false);
    const std::string bytes = "\xEF\xBB\xBF<asx version=\"3.0\">\n"
                              "  <param name=\"encoding\" value=\"UTF-8\" />\n"
                              "  <entry>\n"
                              "    <title>Le Jardin oublié</title>\n"
                              "    <ref href=\"/films/Été &amp; co.mkv\" />\n"
                              "  </entry>\n"
                              "</asx>\n";
    EXPECT_EQ(ReadWholeFile(asx), bytes);
    // A file already listed, whatever its case, changes nothing.
    metadata.CreateAsx(asx, Part("/FILMS/Été & CO.MKV"), false);
    EXPECT_EQ(ReadWholeFile(asx), bytes);

    for (const bool partOneFirst : {true, false}) {
        const TMovieInfo one = Part(Cd1, 1), two = Part(Cd2, 2);
        metadata.CreateAsx(asx, partOneFirst ? one : two, true);
        metadata.CreateAsx(asx, partOneFirst ? two : one, false);
        EXPECT_EQ(References(metadata, asx), Cd1 + ", " + Cd2) << partOneFirst;
    }
    metadata.RenameAsxEntry(asx, "/FILMS/Le Jardin oublié CD2.avi", "/new/cd2.avi");
    EXPECT_EQ(References(metadata, asx), Cd1 + ", /new/cd2.avi");

    const std::tuple<std::string, TMovieInfo, std::string> cases[] = {
        {"<asx><entry><ref href=\"/films/Autre.avi\"/></entry></asx>", Part("/films/Film.avi"),
         "1CD and already 1 entry"},
        {"<asx><entry><ref href=\"/a cd1.avi\"/></entry><entry><ref href=\"/a cd2.avi\"/></entry></asx>",
         Part(Cd2, 2), "CD2 and already 2 entry"},
        {"<asx><entry><ref href=\"/films/Autre cd1.avi\"/></entry></asx>", Part(Cd2, 2),
         "CD2 and bad twin file for the existing entry"},
        {"<asx><entry><ref href=\"/a.avi\"/></entry>", Part(Cd2, 2), "XML: "},
    };
    for (const auto& [existing, movie, reason] : cases) {
        folder.Write("movie.asx", existing);
        const std::string message = ErrorOf([&] { metadata.CreateAsx(asx, movie, false); });
        EXPECT_TRUE(message.starts_with("[CreateAsx] [Erreur sur l'enregistrement du nom de fichier \"" +
                                        movie.FileName + "\" dans le fichier ASX \"" + asx + "\"] " + reason))
            << message;
        EXPECT_EQ(ReadWholeFile(asx), existing);
    }
    // Renaming in an ill-formed playlist leaves it too.
    EXPECT_ANY_THROW(metadata.RenameAsxEntry(asx, "/a.avi", "/b.avi"));
    EXPECT_EQ(ReadWholeFile(asx), std::get<0>(cases[3]));

    // A playlist changed on disc since it was read is read again, even at the
    // same size, whether it was too fresh to be remembered or remembered (no
    // settle time), written in place or replaced by another file.
    auto written = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    for (const int settle : {2, 0}) {
        metadata.PlaylistSettleTime = std::chrono::seconds(settle);
        for (const char* name : {"/a.avi", "/b.avi", "/c.avi"}) {
            const std::string playlist =
                std::string("<asx><entry><ref href=\"") + name + "\"/></entry></asx>";
            // A time of its own, as a file clock's step could hide the change,
            // but for a file put in its place, which is another file.
            if (name[1] == 'c') {
                std::filesystem::last_write_time(folder.Write("new.asx", playlist), written);
                std::filesystem::rename(folder / "new.asx", asx);
            } else {
                folder.Write("movie.asx", playlist);
                std::filesystem::last_write_time(asx, written += std::chrono::seconds(1));
            }
            EXPECT_EQ(References(metadata, asx), name) << settle;
        }
    }
    // So is one rewritten in place at the same size within the same second;
    // twice, as the change time the system sets may step into the next
    // second once.
    const auto second = std::chrono::floor<std::chrono::seconds>(written) + std::chrono::seconds(1);
    for (const char* name : {"/d.avi", "/e.avi", "/f.avi"}) {
        folder.Write("movie.asx", std::string("<asx><entry><ref href=\"") + name + "\"/></entry></asx>");
        std::filesystem::last_write_time(asx, second + std::chrono::milliseconds(100 * (name[1] - 'c')));
        EXPECT_EQ(References(metadata, asx), name);
    }
}

TEST(Playlist, ReferencesAreFoundByNamesOfAnyCaseAndOnlyWhereAPlaylistPutsThem)
{
    TempFolder folder;
    TMetadata metadata;
    const std::string asx =
        folder.Write("movie.asx", "<?xml version=\"1.0\"?><!-- asx --><ASX version=\"3.0\">"
                                  "<Entry><title>t</title><REF HREF=\"/a.avi\" href=\"/b.avi\"/>"
                                  "<ref hreF=\"/c.avi\"/><ns:ref href=\"/x.avi\"/></Entry>"
                                  "<entry><entry><ref href=\"/y.avi\"/></entry>"
                                  "<ref src=\"/z.avi\" xhref=\"/z.avi\"/>text<Ref Href=\"/d.avi\"/></entry>"
                                  "<ref href=\"/w.avi\"/><éntry><ref href=\"/v.avi\"/></éntry></ASX>");
    EXPECT_EQ(References(metadata, asx), "/a.avi, /b.avi, /c.avi, /d.avi");
    metadata.RenameAsxEntry(asx, "/C.AVI", "/e.avi");
    EXPECT_EQ(References(metadata, asx), "/a.avi, /b.avi, /e.avi, /d.avi");

    // Under another root element, or one with a prefix, nothing is a reference.
    folder.Write("movie.asx", "<xsa:asx xmlns:xsa=\"u\"><entry><ref href=\"/a.avi\"/></entry></xsa:asx>");
    EXPECT_EQ(References(metadata, asx), "");
    folder.Write("movie.asx", "<playlist><entry><ref href=\"/a.avi\"/></entry></playlist>");
    EXPECT_EQ(References(metadata, asx), "");
}

TEST(Playlist, ManyPlaylistsReadAgainGiveEachItsOwnReferences)
{
    // Enough playlists for the memory of them to grow several times, each
    // read once from the file and then from memory, and one of them changed.
    TempFolder folder;
    TMetadata metadata;
    metadata.PlaylistSettleTime = std::chrono::seconds(0);
    const auto written = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::vector<std::string> playlists;
    for (int i = 0; i < 300; ++i) {
        const std::string name = "/films/" + std::to_string(i) + ".avi";
        playlists.push_back(folder.Write(std::to_string(i) + ".asx", "<asx><entry><ref href=\"" + name +
                                                                         "\"/><ref href=\"" + name +
                                                                         "2\"/></entry></asx>"));
        std::filesystem::last_write_time(playlists.back(), written);
    }
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 300; ++i) {
            const std::string name = "/films/" + std::to_string(i) + ".avi";
            ASSERT_EQ(References(metadata, playlists[i]), name + ", " + name + "2") << round;
        }
    folder.Write("7.asx", "<asx><entry><ref href=\"/films/sept.avi\"/></entry></asx>");
    std::filesystem::last_write_time(playlists[7], written);
    EXPECT_EQ(References(metadata, playlists[7]), "/films/sept.avi");
    EXPECT_EQ(References(metadata, playlists[8]), "/films/8.avi, /films/8.avi2");

    // A memory too small for them all forgets and starts anew, also while a
    // playlist it holds is read again; one larger than it all is not kept.
    TMetadata small;
    small.PlaylistSettleTime = std::chrono::seconds(0);
    small.PlaylistMemoryBytes = 100;
    const std::string three = ReadWholeFile(playlists[3]);
    for (int round = 0; round < 3; ++round)
        for (const int i : {1, 2, 1, 3, -3, 3, 4, 5, 1, 7}) {
            if (i < 0) { // the same references, written again
                folder.Write("3.asx", three);
                continue;
            }
            const std::string name = "/films/" + std::to_string(i) + ".avi";
            ASSERT_EQ(References(small, playlists[i]), i == 7 ? "/films/sept.avi" : name + ", " + name + "2");
        }
    small.PlaylistMemoryBytes = 10;
    EXPECT_EQ(References(small, playlists[9]), "/films/9.avi, /films/9.avi2");
    EXPECT_EQ(References(small, playlists[9]), "/films/9.avi, /films/9.avi2");
}
