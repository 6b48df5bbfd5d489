// The files media centres read: their exact bytes against the stored golden
// files (VANTRY_UPDATE_GOLDEN=1 rewrites those on purpose), the rating, the
// Overwrite rule, XBMC's settings file and text that XML cannot carry as is.
#include "UnitMetadata.h"

#include "DDKConversion.h"
#include "DDKStrings.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

const std::string GoldenFolder = VANTRY_TEST_DATA "/golden";

// Compares Actual with the stored file; with VANTRY_UPDATE_GOLDEN=1 stores
// Actual instead, so that a deliberate change shows as a reviewable diff.
void ExpectGolden(const std::string& Name, const std::string& Actual)
{
    const std::string FileName = GoldenFolder + "/" + Name;
    const char* Update = std::getenv("VANTRY_UPDATE_GOLDEN");
    if (Update && std::string(Update) == "1") {
        std::filesystem::create_directories(std::filesystem::path(FileName).parent_path());
        std::ofstream(FileName, std::ios::binary | std::ios::trunc) << Actual;
        return;
    }
    EXPECT_EQ(ReadWholeFile(FileName), Actual) << "golden file " << Name;
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
    Movie.Nationalities.AddObject("France", 5001);
    Movie.Nationalities.AddObject("Italie", 5002);
    Movie.Genres.AddObject("Comédie", 13005);
    Movie.Genres.AddObject("Drame", 13008);
    Movie.Directors.AddObject("Jean Dupont", 1);
    Movie.Directors.AddObject("Zoé Martin", 2);
    Movie.Actors.AddObject("Anne Roux", 3);
    Movie.Actors.AddObject("Marc Noël", 4);
    Movie.Actors.AddObject("Léa Petit", 5);
    return Movie;
}

// Every per-movie writer, by the name of the file it writes.
struct TWriter
{
    const char* FileName;
    std::function<void(TMetadata&, const std::string&, const TMovieInfo&, bool)> Write;
};

const TWriter Writers[] = {
    {"movie.nfo",
     [](TMetadata& M, const std::string& F, const TMovieInfo& V, bool O) { M.CreateNfo(F, V, O); }},
    {"movie.xml",
     [](TMetadata& M, const std::string& F, const TMovieInfo& V, bool O) { M.CreateMovieXml(F, V, O); }},
    {"movie.strm", [](TMetadata& M, const std::string& F, const TMovieInfo&, bool O) { M.CreateStrm(F, O); }},
    {"wmc.dvdid.xml", [](TMetadata& M, const std::string& F, const TMovieInfo& V,
                         bool O) { M.CreateDvdId(F, V.Title, V.Code, O); }},
    {"dvdinfocache.xml",
     [](TMetadata& M, const std::string& F, const TMovieInfo& V, bool O) { M.CreateDvdInfoCache(F, V, O); }},
};

std::string RatingOf(const TMovieInfo& Movie)
{
    TempFolder Folder;
    TMetadata Metadata;
    Metadata.CreateNfo(Folder / "movie.nfo", Movie, false);
    pugi::xml_document Document;
    Document.load_file((Folder / "movie.nfo").c_str());
    return Document.child("movie").child("rating").text().get();
}

} // namespace

TEST(Writers, EveryDocumentMatchesItsGoldenFile)
{
    const std::pair<const char*, TMovieInfo> Movies[] = {{"full", FullMovie()}, {"empty", TMovieInfo()}};
    for (const auto& [Kind, Movie] : Movies) {
        TempFolder Folder;
        TMetadata Metadata;
        for (const TWriter& Writer : Writers) {
            Writer.Write(Metadata, Folder / Writer.FileName, Movie, false);
            ExpectGolden(std::string(Kind) + "/" + Writer.FileName, ReadWholeFile(Folder / Writer.FileName));
        }
    }
}

TEST(Writers, TenPointRatingRoundsHalvesToEven)
{
    const struct
    {
        double Press, User;
        const char* Expected;
    } Cases[] = {
        {3.5, 4.0, "7.5"},
        {0, 3.0, "6"},
        {4.5, 0, "9"},
        {0, 0, "0"},
        {2.2, 2.1, "4.3"},
        // Exact halves of a tenth go to the even digit.
        {0, 0.125, "0.2"},
        {0, 0.375, "0.8"},
        {0.625, 0.625, "1.2"},
    };
    for (const auto& Case : Cases) {
        TMovieInfo Movie;
        Movie.PressRating = Case.Press;
        Movie.UserRating = Case.User;
        EXPECT_EQ(RatingOf(Movie), Case.Expected) << Case.Press << " / " << Case.User;
    }
}

TEST(Writers, OverwriteFalseKeepsAnExistingFileAndTrueReplacesIt)
{
    TempFolder Folder;
    TMetadata Metadata;
    const TMovieInfo Movie = FullMovie();
    for (const TWriter& Writer : Writers) {
        const std::string FileName = Folder.Write(Writer.FileName, "kept by the user");
        Writer.Write(Metadata, FileName, Movie, false);
        EXPECT_EQ(ReadWholeFile(FileName), "kept by the user") << Writer.FileName;
        Writer.Write(Metadata, FileName, Movie, true);
        EXPECT_NE(ReadWholeFile(FileName), "kept by the user") << Writer.FileName;
    }
    EXPECT_EQ(ReadWholeFile(Folder / "movie.strm"), "movie.asx");
}

TEST(Writers, TextXmlCannotCarryIsMadeSafeAndTheRestKept)
{
    TMovieInfo Movie;
    const std::string Long(5000, 'x');
    Movie.Title = "A\x01"
                  "B\x1F\tC \xFF\xC3 & <D> " +
                  Long;
    Movie.Synopsis = "ligne 1\nligne 2 \xE2\x82\xAC";
    TempFolder Folder;
    TMetadata Metadata;
    Metadata.CreateNfo(Folder / "movie.nfo", Movie, false);
    const std::string Bytes = ReadWholeFile(Folder / "movie.nfo");

    // Every byte is part of valid UTF-8 and no control character but tab and
    // line ends is left, so strict readers accept the document.
    for (std::size_t Position = 0; Position < Bytes.size();) {
        const char32_t Character = DDKNextChar(Bytes, Position);
        ASSERT_LT(Character, DDKInvalidByteBase);
        ASSERT_TRUE(Character >= 0x20 || Character == '\t' || Character == '\n' || Character == '\r');
    }
    pugi::xml_document Document;
    ASSERT_TRUE(Document.load_string(Bytes.c_str() + 3));
    EXPECT_EQ(std::string(Document.child("movie").child("title").text().get()),
              "AB\tC \xEF\xBF\xBD\xEF\xBF\xBD & <D> " + Long);
    EXPECT_EQ(std::string(Document.child("movie").child("plot").text().get()), Movie.Synopsis);
}

TEST(Writers, XbmcSettingsAreExtendedNeverReplaced)
{
    const struct
    {
        const char* Name;
        const char* Before; // nullptr: no file yet
        const char* After;  // nullptr: the file stays byte for byte
        bool Fails = false;
    } Cases[] = {
        {"missing", nullptr,
         "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<advancedsettings>\n  <fanart>\n"
         "    <add>backdrop.jpg</add>\n  </fanart>\n</advancedsettings>\n"},
        {"entry present",
         "<advancedsettings><fanart><add>x.jpg</add><add>backdrop.jpg</add></fanart>"
         "</advancedsettings>",
         nullptr},
        {"other entries",
         "<advancedsettings><loglevel>1</loglevel><fanart><add>x.jpg</add></fanart>"
         "</advancedsettings>",
         "\xEF\xBB\xBF<advancedsettings>\n  <loglevel>1</loglevel>\n  <fanart>\n    <add>x.jpg</add>\n"
         "    <add>backdrop.jpg</add>\n  </fanart>\n</advancedsettings>\n"},
        {"no fanart", "<?xml version=\"1.0\"?><advancedsettings><loglevel>1</loglevel></advancedsettings>",
         "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<advancedsettings>\n  <loglevel>1</loglevel>\n  <fanart>\n"
         "    <add>backdrop.jpg</add>\n  </fanart>\n</advancedsettings>\n"},
        {"other root", "<settings/>",
         "\xEF\xBB\xBF<settings>\n  <fanart>\n    <add>backdrop.jpg</add>\n  </fanart>\n</settings>\n"},
        {"ill-formed", "<advancedsettings><fanart>", nullptr, true},
    };
    for (const auto& Case : Cases) {
        TempFolder Folder;
        const std::string FileName = Folder / "XBMC/userdata/advancedsettings.xml";
        if (Case.Before)
            Folder.Write("XBMC/userdata/advancedsettings.xml", Case.Before);
        try {
            // Every start of the program calls it: the second call must find the entry.
            TMetadata().CreateXbmcSettings(FileName);
            TMetadata().CreateXbmcSettings(FileName);
            EXPECT_FALSE(Case.Fails) << Case.Name;
        } catch (const std::exception& Error) {
            EXPECT_TRUE(Case.Fails) << Case.Name;
            EXPECT_TRUE(DDKStartsText("[TMetadata.CreateXbmcSettings] ", Error.what())) << Error.what();
        }
        EXPECT_EQ(ReadWholeFile(FileName), Case.After ? Case.After : Case.Before) << Case.Name;
    }
}
