#include "MetadataTestHelpers.h"
#include "UnitMetadata.h"

#include "DDKConversion.h"
#include "DDKStrings.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
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

// Every per-movie writer, by the name of the file it writes.
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

} // namespace

TEST(Writers, EveryDocumentMatchesItsGoldenFileAndOverwriteIsHonoured)
{
    // VANTRY_UPDATE_GOLDEN=1 stores what is written instead, so that a
    // deliberate change shows as a reviewable diff.
    const char* Update = std::getenv("VANTRY_UPDATE_GOLDEN");
    const std::pair<const char*, TMovieInfo> Movies[] = {{"full", FullMovie()}, {"empty", TMovieInfo()}};
    for (const auto& [Kind, Movie] : Movies) {
        TempFolder Folder;
        TMetadata Metadata;
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

TEST(Writers, TenPointRatingRoundsHalvesToEven)
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
}

TEST(Writers, TextXmlCannotCarryIsMadeSafeAndTheRestKept)
{
    TMovieInfo Movie;
    const std::string Long(5000, 'x');
    Movie.Title = "A\001B\037\tC \xFF\xC3 & <D> " + Long;
    Movie.Synopsis = "ligne 1\nligne 2 \xE2\x82\xAC";
    TempFolder Folder;
    TMetadata().CreateNfo(Folder / "movie.nfo", Movie, false);
    const std::string Bytes = ReadWholeFile(Folder / "movie.nfo");

    // Every byte is part of valid UTF-8 and no control character but tab and
    // line ends is left, so strict readers accept the document.
    for (std::size_t Position = 0; Position < Bytes.size();) {
        const char32_t Character = DDKNextChar(Bytes, Position);
        ASSERT_LT(Character, DDKInvalidByteBase);
        ASSERT_TRUE(Character >= 0x20 || Character == '\t' || Character == '\n' || Character == '\r');
    }
    EXPECT_EQ(NfoText(Movie, "title"), "AB\tC \xEF\xBF\xBD\xEF\xBF\xBD & <D> " + Long);
    EXPECT_EQ(NfoText(Movie, "plot"), Movie.Synopsis);
}

TEST(Writers, XbmcSettingsAreExtendedNeverReplaced)
{
    // Before is nullptr when there is no file yet; After is empty when the file
    // is refused and stays byte for byte.
    const std::string Fanart = "  <fanart>\n    <add>backdrop.jpg</add>\n  </fanart>\n";
    const std::pair<const char*, std::string> Cases[] = {
        {nullptr, "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<advancedsettings>\n" + Fanart +
                      "</advancedsettings>\n"},
        {"<advancedsettings><loglevel>1</loglevel><fanart><add>x.jpg</add></fanart></advancedsettings>",
         "\xEF\xBB\xBF<advancedsettings>\n  <loglevel>1</loglevel>\n  <fanart>\n    <add>x.jpg</add>\n"
         "    <add>backdrop.jpg</add>\n  </fanart>\n</advancedsettings>\n"},
        {"<?xml version=\"1.0\"?><settings/>",
         "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<settings>\n" + Fanart + "</settings>\n"},
        {"<advancedsettings><fanart>", ""},
    };
    for (const auto& [Before, After] : Cases) {
        TempFolder Folder;
        const std::string FileName = Folder / "XBMC/userdata/advancedsettings.xml";
        if (Before)
            Folder.Write("XBMC/userdata/advancedsettings.xml", Before);
        // Every start of the program calls it: the second call must find the entry.
        const std::string Error = ErrorOf([&] {
            TMetadata().CreateXbmcSettings(FileName);
            TMetadata().CreateXbmcSettings(FileName);
        });
        EXPECT_EQ(Error.starts_with("[TMetadata.CreateXbmcSettings] "), After.empty()) << Error;
        EXPECT_EQ(ReadWholeFile(FileName), After.empty() ? Before : After);
    }
}
