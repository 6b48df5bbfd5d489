#include "MetadataTestHelpers.h"
#include "UnitMetadata.h"

#include "TempFolder.h"
#include "UnitConfig.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <thread>
#include <vector>

namespace {

using TOrderedJson = nlohmann::ordered_json;

const std::string AllocineXml =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><feed><totalResults>1</totalResults>"
    "<movie code=\"42\"><title>Le film</title></movie></feed>";
const std::string AllocineJson = R"({"feed":{"totalResults":1,"movie":[{"code":42,"title":"Le film"}]}})";

// A record's members in order with the text of plain ones; an AlloCine
// record's members are those of its feed.
std::string Members(const std::string& FileName)
{
    const std::string Bytes = ReadWholeFile(FileName);
    std::string Text;
    if (FileName.ends_with(".json")) {
        const TOrderedJson Whole = TOrderedJson::parse(Bytes);
        const TOrderedJson& Record = Whole.contains("feed") ? Whole["feed"] : Whole;
        for (const auto& [Name, Value] : Record.items())
            Text += Name + "=" +
                    (Value.is_string()   ? Value.get<std::string>()
                     : Value.is_number() ? Value.dump()
                                         : "") +
                    ",";
        return Text;
    }
    pugi::xml_document Document;
    EXPECT_TRUE(Bytes.starts_with("\xEF\xBB\xBF") && Document.load_string(Bytes.c_str() + 3)) << FileName;
    for (const pugi::xml_node& Child : Document.document_element().children())
        Text += std::string(Child.name()) + "=" + Child.text().get() + ",";
    return Text;
}

class AnomalyRecords : public testing::Test
{
protected:
    void SetUp() override
    {
        Config.AnomalyDir = FFolder.MakeFolder("Anomaly");
        FMovie.SetFileName(FFolder.Write("Films/Le film.avi", "movie"));
        FMovie.Code = 4321;
        FMovie.Title = "Le film";
        FMovie.OriginalTitle = "The Movie";
        FMovie.ProductionYear = "1999";
        FMovie.MovieDir = "/films/@Vantry/Le film (1999) #4321";
    }
    void TearDown() override { Config.AnomalyDir = FSavedAnomalyDir; }

    const std::string FSavedAnomalyDir = Config.AnomalyDir;
    TempFolder FFolder;
    TMovieInfo FMovie;
};

} // namespace

TEST_F(AnomalyRecords, BothFormsForBothServicesWithTheirMembersAndWhatBlocksWhat)
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
                             "realeaseDate=1899-12-30 00:00:00,moviedir=" +
                             FMovie.MovieDir;
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
    // The answer's own declaration is kept.
    EXPECT_TRUE(
        ReadWholeFile(Config.AnomalyDir + "/allocine-Le film.avi.xml").starts_with("\xEF\xBB\xBF<?xml"));
}

TEST_F(AnomalyRecords, FailuresCarryTheTagAndLeaveNoRecord)
{
    // Answers nested without end would crash the worker or fill the disc.
    const std::string Deep = std::string(100000, '[') + std::string(100000, ']');
    std::string DeepXml;
    for (int Level = 0; Level < 5000; ++Level)
        DeepXml = "<a>" + DeepXml + "</a>";
    for (const std::string& Answer :
         {std::string("{\"feed\": ["), std::string(R"({"results":[]})"), std::string("<feed><movie></feed>"),
          "{\"feed\":{\"x\":" + Deep + "}}", "<feed>" + DeepXml + "</feed>"}) {
        const std::string Error =
            ErrorOf([&] { TMetadata().AddAnomaly(Answer, SourceAllocine, FMovie, "", ""); });
        EXPECT_TRUE(Error.starts_with("[TMetadata.AddAnomaly] ")) << Answer.substr(0, 40) << ": " << Error;
        EXPECT_TRUE(EntryNames(Config.AnomalyDir).empty()) << Answer.substr(0, 40);
    }
    Config.AnomalyDir = FFolder / "missing";
    EXPECT_EQ(ErrorOf([&] { TMetadata().AddAnomaly(AllocineXml, SourceAllocine, FMovie, "", ""); }),
              "[TMetadata.AddAnomaly] Unable to save the file \"" + Config.AnomalyDir +
                  "/allocine-Le film.avi.xml\"");
}

TEST_F(AnomalyRecords, ThreadsAddingTheSameRecordLeaveOneWholeFile)
{
    // A large answer makes each save long enough for the threads to overlap.
    TOrderedJson Answer = TOrderedJson::parse(AllocineJson);
    for (int Index = 0; Index < 2000; ++Index)
        Answer["feed"]["movie"].push_back({{"code", Index}, {"title", std::string(200, 'a' + Index % 26)}});
    const std::string Stream = Answer.dump();
    std::vector<std::thread> Threads;
    for (int Index = 0; Index < 8; ++Index)
        Threads.emplace_back([&] { TMetadata().AddAnomaly(Stream, SourceAllocine, FMovie, "dir", "words"); });
    for (std::thread& Thread : Threads)
        Thread.join();

    EXPECT_EQ(EntryNames(Config.AnomalyDir), std::set<std::string>{"allocine-Le film.avi.json"})
        << "no temporary file is left behind";
    const TOrderedJson Json =
        TOrderedJson::parse(ReadWholeFile(Config.AnomalyDir + "/allocine-Le film.avi.json"));
    EXPECT_EQ(Json["feed"]["movie"].size(), 2001u);
    EXPECT_EQ(Json["feed"]["mcdir"], "dir");
}
