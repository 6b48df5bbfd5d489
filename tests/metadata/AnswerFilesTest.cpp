#include "MetadataTestHelpers.h"
#include "MetadataValues.h"
#include "UnitMetadata.h"

#include "DDKFiles.h"
#include "DDKStrings.h"
#include "FakeServices.h"
#include "HttpObject.h"
#include "TempFolder.h"
#include "UnitConfig.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <thread>
#include <vector>

namespace {

using TOrderedJson = nlohmann::ordered_json;
using TNames = std::set<std::string>;

const std::string Allocine = "images.allocine.test", Tmdb = "image.tmdb.test";

const std::string AllocineXml =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><feed><totalResults>1</totalResults>"
    "<movie code=\"42\"><title>Le film</title></movie></feed>";
const std::string AllocineJson = R"({"feed":{"totalResults":1,"movie":[{"code":42,"title":"Le film"}]}})";

// A record's members in order with the text of plain ones; an AlloCine record's are those of its feed.
std::string Members(const std::string& FileName)
{
    const std::string Bytes = ReadWholeFile(FileName);
    std::string Text;
    if (FileName.ends_with(".json")) {
        const TOrderedJson Whole = TOrderedJson::parse(Bytes);
        const TOrderedJson& Record = Whole.contains("feed") ? Whole["feed"] : Whole;
        for (const auto& [Name, Value] : Record.items()) {
            const std::string Plain = Value.is_string() ? Value.get<std::string>() : Value.dump();
            Text += Name + "=" + (Value.is_structured() ? "" : Plain) + ",";
        }
        return Text;
    }
    pugi::xml_document Document;
    EXPECT_TRUE(Bytes.starts_with("\xEF\xBB\xBF") && Document.load_string(Bytes.c_str() + 3)) << FileName;
    for (const pugi::xml_node& Child : Document.document_element().children())
        Text += std::string(Child.name()) + "=" + Child.text().get() + ",";
    return Text;
}

class AnswerFiles : public testing::Test
{
protected:
    void SetUp() override
    {
        Config.AnomalyDir = FFolder.MakeFolder("Anomaly");
        Config.CacheDir = FFolder.MakeFolder("Cache");
        Config.ImageBaseUrl = "http://" + Tmdb + "/t/p/";
        FHttp.RetryPause = std::chrono::milliseconds(1);
        FMovie.SetFileName(FFolder.Write("Films/Le film.avi", "movie"));
        FMovie.Code = 4321;
        FMovie.Title = "Le film";
        FMovie.OriginalTitle = "The Movie";
        FMovie.ProductionYear = "1999";
        FMovie.MovieDir = "/films/@Vantry/Le film (1999) #4321";
    }
    void TearDown() override { Config = FSavedConfig; }

    const TConfig FSavedConfig = Config;
    TempFolder FFolder;
    TMovieInfo FMovie;
    FakeServices FFake;
    THttpObject FHttp;
    TMetadata FMetadata;
};

} // namespace

TEST_F(AnswerFiles, AnomalyBothFormsForBothServicesWithTheirMembersAndWhatBlocksWhat)
{
    // An XML record blocks every later one, a JSON record only JSON ones.
    const std::tuple<std::string, TSource, const char*, const char*> Adds[] = {
        {AllocineXml, SourceAllocine, "Le film.avi", "le+film"},
        {AllocineJson, SourceAllocine, "Le film.avi", "blocked"},
        {AllocineJson, SourceAllocine, "\xE9t\xE9.avi", "le+film"}, // a name that is not UTF-8
        {AllocineJson, SourceAllocine, "\xE9t\xE9.avi", "blocked"},
        {R"({"page":1,"results":[{"id":7,"title":"Le film"}],"total_results":1})", SourceTmdb, "", "le film"},
        {"<OpenSearchDescription><movies><movie><id>7</id></movie></movies></OpenSearchDescription>",
         SourceTmdb, "", "not in XML"},
    };
    for (const auto& [Answer, Source, File, Words] : Adds) {
        TMovieInfo Movie = FMovie;
        if (*File)
            Movie.SetFileName(FFolder / (std::string("Films/") + File));
        TMetadata().AddAnomaly(Answer, Source, Movie, "/films/@Vantry", Words);
    }

    const std::string Films = FFolder / "Films/";
    const std::string Tmdb = "code=4321,title=Le film,originalTitle=The Movie,productionYear=1999,"
                             "realeaseDate=1899-12-30 00:00:00,moviedir=/films/@Vantry/Le film (1999) #4321";
    const std::map<std::string, std::string> Expected = {
        {"allocine-Le film.avi.xml", "totalResults=1,movie=,filename=" + Films +
                                         "Le film.avi,mcdir=/films/@Vantry,words=le+film,volume=,"},
        {"allocine-\xE9t\xE9.avi.json",
         "totalResults=1,movie=,filename=" + Films +
             "\xEF\xBF\xBDt\xEF\xBF\xBD.avi,mcdir=/films/@Vantry,words=le+film,volume=,"},
        {"tmdb-4321.json", "page=1,results=,total_results=1," + Tmdb + ",words=le film,volume=,"},
        {"tmdb-4321.xml", "movies=," + Tmdb + ",volume=,"},
    };
    std::map<std::string, std::string> Records;
    for (const std::string& Name : EntryNames(Config.AnomalyDir))
        Records[Name] = Members(Config.AnomalyDir + "/" + Name);
    EXPECT_EQ(Records, Expected);
}

TEST_F(AnswerFiles, AnXmlAnswerNeverCarriesMembersOfOursIntoItsRecord)
{
    // An answer's own members by our names, in any letter case, go; ours
    // then stand alone after the answer's results.
    FMetadata.AddAnomaly(
        "<feed><MCDIR>/home/u</MCDIR><movie code=\"1\"/><filename>/home/u/.profile</filename>"
        "<Words>x</Words><volume>v</volume><mcdirs>kept</mcdirs></feed>",
        SourceAllocine, FMovie, "/films/@Vantry", "le+film");
    FMetadata.AddAnomaly(
        "<OpenSearchDescription><moviedir>/etc</moviedir><Code>1</Code><movies/><Title>x</Title>"
        "<originaltitle/><productionYear/><REALEASEDATE/><words>kept</words>"
        "</OpenSearchDescription>",
        SourceTmdb, FMovie, "", "");
    EXPECT_EQ(Members(Config.AnomalyDir + "/allocine-Le film.avi.xml"),
              "movie=,mcdirs=kept,filename=" + FMovie.FileName +
                  ",mcdir=/films/@Vantry,words=le+film,volume=,");
    EXPECT_EQ(Members(Config.AnomalyDir + "/tmdb-4321.xml"),
              "movies=,words=kept,code=4321,title=Le film,originalTitle=The Movie,productionYear=1999,"
              "realeaseDate=1899-12-30 00:00:00,moviedir=/films/@Vantry/Le film (1999) #4321,volume=,");
}

TEST_F(AnswerFiles, MovieFilesWithNamesAsLongAsANameMayBeGetARecordEach)
{
    // Alike but for their ends, and cut in the middle of a character were
    // they cut at a byte.
    std::string Start;
    for (int Index = 0; Index < 123; ++Index)
        Start += "é";
    std::vector<TMovieInfo> Movies;
    for (const std::string End : {"a.avi", "b.avi", "é.mkv"}) {
        TMovieInfo Movie = FMovie;
        Movie.SetFileName(FFolder.Write("Films/" + Start + End, "movie"));
        EXPECT_FALSE(TMetadata::AnomalyWaiting(SourceAllocine, Movie));
        FMetadata.AddAnomaly(End == "a.avi" ? AllocineXml : AllocineJson, SourceAllocine, Movie, "", "");
        EXPECT_TRUE(TMetadata::AnomalyWaiting(SourceAllocine, Movie));
        Movies.push_back(Movie);
    }
    // The XML record blocks a JSON one of the same movie.
    FMetadata.AddAnomaly(AllocineJson, SourceAllocine, Movies[0], "", "");

    const TNames Names = EntryNames(Config.AnomalyDir);
    ASSERT_EQ(Names.size(), 3u);
    for (const std::string& Name : Names) {
        EXPECT_LE(Name.size(), 255u) << Name;
        EXPECT_TRUE(Name.starts_with("allocine-" + Start.substr(0, 200))) << Name;
        EXPECT_NO_THROW((void)nlohmann::json(Name).dump()) << Name; // whole characters only
    }
    for (const TMovieInfo& Movie : Movies) {
        const std::string Record =
            Movie.FileName.ends_with("a.avi")
                ? TMetadata::AnomalyFileName(SourceAllocine, Movie)
                : DDKChangeFileExt(TMetadata::AnomalyFileName(SourceAllocine, Movie), ".json");
        EXPECT_NE(Members(Record).find(",filename=" + Movie.FileName + ","), std::string::npos) << Record;
    }
}

TEST_F(AnswerFiles, AJsonRecordIsTheAnswerAsItWasWithOurMembersLastWhereTheyBelong)
{
    // Every kind of value, escapes, a "feed" deeper down that receives nothing,
    // and members by our names that the answer's own must not stand for.
    const std::string Values = R"("t":true,"f":false,"n":null,"i":-12,"u":18446744073709551615,"x":1.5e-3,)"
                               R"("s":"a\"b\\c\u00e9\n\u0001\ud83d\ude00","e":{},"a":[[],[{}],{"feed":{}}])";
    const std::string Answers[] = {
        R"({"feed":{"mcdir":"/etc","movie":[{"code":1}],)" + Values +
            R"(,"volume":[1,{"a":2}]},"words":"kept"})",
        R"({"moviedir":"/etc","results":[{"id":1}],)" + Values + R"(,"code":{"x":[1]},"page":1})",
    };
    TMovieInfo Movie = FMovie;
    Movie.FileName = "/films/\xE9t\xE9\".avi"; // not UTF-8, and a quote
    FMetadata.AddAnomaly(Answers[0], SourceAllocine, Movie, "/films/@Vantry", "le+film");
    FMetadata.AddAnomaly(Answers[1], SourceTmdb, Movie, "", "le film");

    TOrderedJson Expected[] = {TOrderedJson::parse(Answers[0]), TOrderedJson::parse(Answers[1])};
    TOrderedJson& Feed = Expected[0]["feed"];
    for (const char* Name : {"mcdir", "volume"})
        Feed.erase(Name);
    Feed["filename"] = "/films/\uFFFDt\uFFFD\".avi";
    Feed["mcdir"] = "/films/@Vantry";
    Feed["words"] = "le+film";
    for (const char* Name : {"moviedir", "code"})
        Expected[1].erase(Name);
    const TOrderedJson Tmdb =
        TOrderedJson::parse(R"({"code":4321,"title":"Le film","originalTitle":"The Movie",
        "productionYear":"1999","realeaseDate":"1899-12-30 00:00:00",
        "moviedir":"/films/@Vantry/Le film (1999) #4321","words":"le film"})");
    for (const auto& [Name, Value] : Tmdb.items())
        Expected[1][Name] = Value;
    const std::string Records[] = {Config.AnomalyDir + "/allocine-\xE9t\xE9\".avi.json",
                                   Config.AnomalyDir + "/tmdb-4321.json"};
    for (int Index = 0; Index < 2; ++Index) {
        // The volume of the movie's drive comes last.
        TOrderedJson Written = TOrderedJson::parse(ReadWholeFile(Records[Index]));
        TOrderedJson& Members = Index == 0 ? Written["feed"] : Written;
        ASSERT_EQ(Members.back().size(), 2u) << Members.dump();
        Members.erase("volume");
        EXPECT_EQ(Written.dump(), Expected[Index].dump());
    }
}

TEST_F(AnswerFiles, AnswersThatCannotBeReadAreRefusedWithTheirTagAndLeaveNothing)
{
    // An answer nested Depth levels deep, its outermost object or element included.
    const auto Nested = [](int Depth, bool Json) {
        if (Json)
            return "{\"feed\":{\"x\":" + std::string(Depth - 2, '[') + std::string(Depth - 2, ']') + "}}";
        std::string Xml;
        for (int Level = 1; Level < Depth; ++Level)
            Xml = "<a>" + Xml + "</a>";
        return "<feed>" + Xml + "</feed>";
    };
    for (const std::string& Answer :
         {std::string("{\"feed\": ["), std::string("<feed><movie></feed>"),
          std::string(R"({"feed":{"movie":[]},"feed":5})"), Nested(100000, true), Nested(5000, false),
          Nested(MaxAnswerDepth + 1, true), Nested(MaxAnswerDepth + 1, false)}) {
        const std::string Error =
            ErrorOf([&] { FMetadata.AddAnomaly(Answer, SourceAllocine, FMovie, "", ""); });
        EXPECT_TRUE(Error.starts_with("[TMetadata.AddAnomaly] ")) << Answer.substr(0, 40) << ": " << Error;
        // A deep XML answer is no error for the cache, which finds no movie in
        // it; a deep JSON one is refused as it is read.
        const std::string PosterError =
            ErrorOf([&] { FMetadata.SavePosterCache(Answer, SourceAllocine, FHttp); });
        EXPECT_EQ(PosterError.starts_with("[TMetadata.SavePosterCache] "),
                  Answer.size() < 100 || Answer.starts_with("{"))
            << PosterError;
    }
    EXPECT_TRUE(EntryNames(Config.AnomalyDir).empty() && EntryNames(Config.CacheDir).empty());
    EXPECT_TRUE(FFake.Requests().empty());

    // One level less is read: by the record's writer in either form and by
    // the results' reader.
    for (const bool Json : {true, false}) {
        const std::string Answer = Nested(MaxAnswerDepth, Json);
        EXPECT_EQ(ErrorOf([&] { FMetadata.AddAnomaly(Answer, SourceAllocine, FMovie, "", ""); }), "<none>");
        EXPECT_EQ(ErrorOf([&] { FMetadata.SavePosterCache(Answer, SourceAllocine, FHttp); }), "<none>");
        const std::string Record = TMetadata::AnomalyFileName(SourceAllocine, FMovie);
        EXPECT_TRUE(std::filesystem::remove(Json ? DDKChangeFileExt(Record, ".json") : Record)) << Json;
    }
}

TEST_F(AnswerFiles, AnomalyThreadsAddingTheSameRecordLeaveOneWholeFile)
{
    // A large answer, so that the saves overlap.
    TOrderedJson Answer = TOrderedJson::parse(AllocineJson);
    for (int Index = 0; Index < 2000; ++Index)
        Answer["feed"]["movie"].push_back({{"code", Index}, {"title", std::string(200, 'a' + Index % 26)}});
    std::vector<std::jthread> Threads;
    for (int Index = 0; Index < 8; ++Index)
        Threads.emplace_back([&] { TMetadata().AddAnomaly(Answer.dump(), SourceAllocine, FMovie, "", ""); });
    Threads.clear(); // joins them

    // No temporary file is left behind.
    EXPECT_EQ(EntryNames(Config.AnomalyDir), TNames{"allocine-Le film.avi.json"});
    const std::string Record = ReadWholeFile(Config.AnomalyDir + "/allocine-Le film.avi.json");
    EXPECT_EQ(TOrderedJson::parse(Record)["feed"]["movie"].size(), 2001u);
}

TEST_F(AnswerFiles, PostersOfBothServicesAreFetchedOnceAndOneFailureStopsNoOther)
{
    FFake.Answer(Allocine, "/r_75_106/medias/x/medias/c.JPEG", FakeAnswer::Text("picture c"));
    FFake.Answer(Allocine, "/r_75_106/medias/missing.jpg", FakeAnswer::Status(404));
    FFake.Answer(Allocine, "/pictures/d.gif", FakeAnswer::Text("picture d"), 2);
    FFake.Answer(Tmdb, "/t/p/w92/p1.jpg", FakeAnswer::Text("poster 1"));
    FFake.Answer(Tmdb, "/thumbs/p3.jpeg", FakeAnswer::Text("poster 3"));
    nlohmann::json Movies = {{{"code", 2}, {"title", "no poster"}}};
    for (const auto& [Code, Href] :
         {std::pair<int, std::string>{3, "http://" + Allocine + "/medias/missing.jpg"},
          {5, "not an address"},
          {6, "http://" + Allocine + "/Medias/x/medias/c.JPEG"}})
        Movies.push_back({{"code", Code}, {"poster", {{"href", Href}}}});
    const std::string Answer = nlohmann::json{{"feed", {{"movie", Movies}}}}.dump();
    FMetadata.SavePosterCache(Answer, SourceAllocine, FHttp);
    // A code that is not a number must not lead the picture out of the cache folder.
    const std::string Poster = "<poster href=\"http://" + Allocine + "/pictures/d.gif\"/>";
    FMetadata.SavePosterCache("<feed><movie code=\"8\">" + Poster + "</movie><movie code=\"../escape\">" +
                                  Poster + "</movie></feed>",
                              SourceAllocine, FHttp);
    FMetadata.SavePosterCache(
        R"({"results":[{"id":11,"poster_path":"/p1.jpg"},{"id":12,"poster_path":null}],"total_results":2})",
        SourceTmdb, FHttp);
    FMetadata.SavePosterCache(
        "<OpenSearchDescription><movies><movie><id>13</id><images>"
        "<image type=\"poster\" size=\"original\" url=\"http://image.tmdb.test/big.jpg\"/>"
        "<image type=\"poster\" size=\"thumb\" url=\"http://image.tmdb.test/thumbs/p3.jpeg\"/>"
        "</images></movie></movies></OpenSearchDescription>",
        SourceTmdb, FHttp);
    EXPECT_EQ(EntryNames(Config.CacheDir),
              (TNames{"allocine-6.jpg", "allocine-8.gif", "tmdb-11.jpg", "tmdb-13.jpg"}));
    EXPECT_EQ(EntryNames(FFolder.Path().string()), (TNames{"Anomaly", "Cache", "Films"}));
    EXPECT_EQ(ReadWholeFile(Config.CacheDir + "/allocine-6.jpg"), "picture c");
    EXPECT_EQ(FFake.Requests().size(), 5u);

    // Present pictures are not fetched again, missing ones are.
    FMetadata.SavePosterCache(Answer, SourceAllocine, FHttp);
    EXPECT_EQ(FFake.Requests().size(), 5u + 1);
    EXPECT_EQ(FFake.Count(Allocine, "/r_75_106/medias/missing.jpg"), 2);
}

TEST_F(AnswerFiles, AThumbnailLargerThanOneNeedsIsNotCachedAndTheClientKeepsItsOwnLimits)
{
    // An address without a picture's extension is no way round the limit.
    FFake.Answer(Tmdb, "/t/p/w92/fits.jpg", FakeAnswer::Text(std::string(TMetadata::ThumbnailLimit, 'a')));
    FFake.Default(Tmdb, "/t/p/w92/over*", FakeAnswer::Text(std::string(TMetadata::ThumbnailLimit + 1, 'b')));
    FMetadata.SavePosterCache(R"({"results":[{"id":1,"poster_path":"/fits.jpg"},{"id":2,"poster_path":"/over.jpg"},
                                             {"id":3,"poster_path":"/over"}]})",
                              SourceTmdb, FHttp);
    EXPECT_EQ(EntryNames(Config.CacheDir), TNames{"tmdb-1.jpg"});
    // Backdrops fetched later by the same client keep their room.
    EXPECT_EQ(FHttp.PictureLimit, THttpObject().PictureLimit);
    EXPECT_EQ(FHttp.AnswerLimit, THttpObject().AnswerLimit);
}

TEST_F(AnswerFiles, OnlyTheResultsASearchCanShowGetAThumbnailAndNoneComesFromThisComputer)
{
    FFake.Default(Allocine, "/r_75_106/medias/*", FakeAnswer::Text("thumbnail"));
    FFake.Default(Tmdb, "/t/p/w92/*", FakeAnswer::Text("thumbnail"));
    FFake.Default("127.0.0.1", "/r_75_106/medias/*", FakeAnswer::Text("local page"));
    // Each answer form gives its results other codes; the first result's picture lies on this computer.
    nlohmann::json AllocineMovies = nlohmann::json::array(), TmdbResults = nlohmann::json::array();
    std::string AllocineXml = "<feed>", TmdbXml = "<OpenSearchDescription><movies>";
    for (int Code = 1; Code <= 500; ++Code) {
        const std::string Poster =
            DDKFormat("http://%s/medias/%d.jpg", Code == 1 ? "127.0.0.1" : Allocine.c_str(), Code);
        AllocineMovies.push_back({{"code", Code}, {"poster", {{"href", Poster}}}});
        AllocineXml +=
            DDKFormat("<movie code=\"%d\"><poster href=\"%s\"/></movie>", Code + 1000, Poster.c_str());
        TmdbResults.push_back({{"id", Code}, {"poster_path", DDKFormat("/%d.jpg", Code)}});
        TmdbXml += DDKFormat("<movie><id>%d</id><images><image type=\"poster\" size=\"thumb\" "
                             "url=\"http://image.tmdb.test/t/p/w92/%d.jpg\"/></images></movie>",
                             Code + 1000, Code);
    }
    FMetadata.SavePosterCache(nlohmann::json{{"feed", {{"movie", AllocineMovies}}}}.dump(), SourceAllocine,
                              FHttp);
    FMetadata.SavePosterCache(AllocineXml + "</feed>", SourceAllocine, FHttp);
    FMetadata.SavePosterCache(nlohmann::json{{"results", TmdbResults}}.dump(), SourceTmdb, FHttp);
    FMetadata.SavePosterCache(TmdbXml + "</movies></OpenSearchDescription>", SourceTmdb, FHttp);

    // Ten AlloCine results (the first one refused), TMDb's first page of twenty.
    TNames Expected;
    for (const int Base : {0, 1000}) {
        for (int Code = 2; Code <= 10; ++Code)
            Expected.insert(DDKFormat("allocine-%d.jpg", Base + Code));
        for (int Code = 1; Code <= 20; ++Code)
            Expected.insert(DDKFormat("tmdb-%d.jpg", Base + Code));
    }
    EXPECT_EQ(EntryNames(Config.CacheDir), Expected);
    EXPECT_EQ(FFake.Requests().size(), Expected.size());
}
