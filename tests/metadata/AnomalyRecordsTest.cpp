// Anomaly records: their names, the members added after the answer's own and
// where they go, which record blocks which, failures, and two threads adding
// the same record at once.
#include "UnitMetadata.h"

#include "DDKStrings.h"
#include "TempFolder.h"
#include "UnitConfig.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <thread>
#include <vector>

namespace {

using TOrderedJson = nlohmann::ordered_json;

const std::string AllocineXml =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><feed><totalResults>1</totalResults>"
    "<movie code=\"42\"><title>Le film</title></movie></feed>";
const std::string AllocineJson = R"({"feed":{"totalResults":1,"movie":[{"code":42,"title":"Le film"}]}})";
const std::string TmdbXml =
    "<OpenSearchDescription><movies><movie><id>7</id></movie></movies></OpenSearchDescription>";
const std::string TmdbJson = R"({"page":1,"results":[{"id":7,"title":"Le film"}],"total_results":1})";

class AnomalyRecords : public testing::Test
{
protected:
    void SetUp() override
    {
        FSavedAnomalyDir = Config.AnomalyDir;
        Config.AnomalyDir = FFolder.MakeFolder("Anomaly");
        FMovie.SetFileName(FFolder.Write("Films/Le film.avi", "movie"));
        FMovie.Code = 4321;
        FMovie.Title = "Le film";
        FMovie.OriginalTitle = "The Movie";
        FMovie.ProductionYear = "1999";
        FMovie.MovieDir = FFolder / "Films/@Vantry/Le film (1999) #4321";
    }
    void TearDown() override { Config.AnomalyDir = FSavedAnomalyDir; }

    std::string Record(const std::string& Name) const
    {
        return ReadWholeFile(Config.AnomalyDir + "/" + Name);
    }
    std::vector<std::string> RecordNames() const
    {
        std::vector<std::string> Names;
        for (const auto& Entry : std::filesystem::directory_iterator(Config.AnomalyDir))
            Names.push_back(Entry.path().filename().string());
        return Names;
    }

    TempFolder FFolder;
    TMovieInfo FMovie;
    TMetadata FMetadata;

private:
    std::string FSavedAnomalyDir;
};

std::vector<std::string> ChildNames(const pugi::xml_node& Node)
{
    std::vector<std::string> Names;
    for (const pugi::xml_node& Child : Node.children())
        Names.push_back(Child.name());
    return Names;
}

std::vector<std::string> MemberNames(const TOrderedJson& Object)
{
    std::vector<std::string> Names;
    for (const auto& [Name, Value] : Object.items())
        Names.push_back(Name);
    return Names;
}

using TNames = std::vector<std::string>;

} // namespace

TEST_F(AnomalyRecords, AllocineRecordsAddTheirMembersAfterTheFeedsOwn)
{
    FMetadata.AddAnomaly(AllocineXml, SourceAllocine, FMovie, "/films/@Vantry", "le+film");
    const std::string Xml = Record("allocine-Le film.avi.xml");
    ASSERT_EQ(Xml.substr(0, 3), "\xEF\xBB\xBF");
    pugi::xml_document Document;
    ASSERT_TRUE(Document.load_string(Xml.c_str() + 3, pugi::parse_default | pugi::parse_declaration));
    EXPECT_STREQ(Document.first_child().name(), "xml"); // the answer's declaration is kept
    const pugi::xml_node Feed = Document.child("feed");
    EXPECT_EQ(ChildNames(Feed), (TNames{"totalResults", "movie", "filename", "mcdir", "words", "volume"}));
    EXPECT_EQ(std::string(Feed.child("filename").text().get()), FMovie.FileName);
    EXPECT_EQ(std::string(Feed.child("mcdir").text().get()), "/films/@Vantry");
    EXPECT_EQ(std::string(Feed.child("words").text().get()), "le+film");
    EXPECT_EQ(ChildNames(Feed.child("volume")), (TNames{"name", "serial"}));

    FMetadata.AddAnomaly(AllocineJson, SourceAllocine, FMovie, "/films/@Vantry", "le+film");
    EXPECT_EQ(RecordNames(), TNames{"allocine-Le film.avi.xml"}) << "an XML record blocks a JSON one";

    std::filesystem::remove(Config.AnomalyDir + "/allocine-Le film.avi.xml");
    FMetadata.AddAnomaly(AllocineJson, SourceAllocine, FMovie, "/films/@Vantry", "le+film");
    const TOrderedJson Json = TOrderedJson::parse(Record("allocine-Le film.avi.json"));
    EXPECT_EQ(MemberNames(Json), TNames{"feed"});
    EXPECT_EQ(MemberNames(Json["feed"]),
              (TNames{"totalResults", "movie", "filename", "mcdir", "words", "volume"}));
    EXPECT_EQ(Json["feed"]["filename"], FMovie.FileName);
    EXPECT_EQ(Json["feed"]["words"], "le+film");
    EXPECT_EQ(MemberNames(Json["feed"]["volume"]), (TNames{"name", "serial"}));

    const std::string First = Record("allocine-Le film.avi.json");
    FMetadata.AddAnomaly(AllocineJson, SourceAllocine, FMovie, "second", "second");
    EXPECT_EQ(Record("allocine-Le film.avi.json"), First) << "a JSON record blocks a JSON one";
}

TEST_F(AnomalyRecords, TmdbRecordsCarryTheAllocineMovie)
{
    FMetadata.AddAnomaly(TmdbJson, SourceTmdb, FMovie, "", "le film");
    const TOrderedJson Json = TOrderedJson::parse(Record("tmdb-4321.json"));
    EXPECT_EQ(MemberNames(Json), (TNames{"page", "results", "total_results", "code", "title", "originalTitle",
                                         "productionYear", "realeaseDate", "moviedir", "words", "volume"}));
    EXPECT_EQ(Json["code"], 4321);
    EXPECT_EQ(Json["productionYear"], "1999");
    EXPECT_EQ(Json["realeaseDate"], "1899-12-30 00:00:00");
    EXPECT_EQ(Json["moviedir"], FMovie.MovieDir);

    // A JSON record does not block an XML one, which has no words.
    FMetadata.AddAnomaly(TmdbXml, SourceTmdb, FMovie, "", "le film");
    pugi::xml_document Document;
    ASSERT_TRUE(Document.load_string(Record("tmdb-4321.xml").c_str() + 3));
    const pugi::xml_node Root = Document.child("OpenSearchDescription");
    EXPECT_EQ(ChildNames(Root), (TNames{"movies", "code", "title", "originalTitle", "productionYear",
                                        "realeaseDate", "moviedir", "volume"}));
    EXPECT_STREQ(Root.child("code").text().get(), "4321");
}

TEST_F(AnomalyRecords, FailuresCarryTheTagAndLeaveNoRecord)
{
    const struct
    {
        std::string Answer;
        TSource Source;
    } Cases[] = {
        {"{\"feed\": [", SourceAllocine},         // not JSON
        {R"({"results":[]})", SourceAllocine},    // no feed
        {R"({"feed":null})", SourceAllocine},     // feed is not an object
        {"<feed><movie></feed>", SourceAllocine}, // not well-formed
        {"", SourceTmdb},                         // nothing at all
    };
    for (const auto& Case : Cases) {
        try {
            FMetadata.AddAnomaly(Case.Answer, Case.Source, FMovie, "", "");
            ADD_FAILURE() << "no error for " << Case.Answer;
        } catch (const std::exception& Error) {
            EXPECT_TRUE(DDKStartsText("[TMetadata.AddAnomaly] ", Error.what())) << Error.what();
        }
        EXPECT_TRUE(RecordNames().empty()) << Case.Answer;
    }

    Config.AnomalyDir = FFolder / "missing";
    try {
        FMetadata.AddAnomaly(AllocineXml, SourceAllocine, FMovie, "", "");
        ADD_FAILURE() << "no error";
    } catch (const std::exception& Error) {
        EXPECT_EQ(std::string(Error.what()), "[TMetadata.AddAnomaly] Unable to save the file \"" +
                                                 Config.AnomalyDir + "/allocine-Le film.avi.xml\"");
    }
}

TEST_F(AnomalyRecords, AFileNameThatIsNotUtf8StillGetsItsRecord)
{
    FMovie.SetFileName(FFolder / "Films/\xE9t\xE9.avi");
    FMetadata.AddAnomaly(AllocineJson, SourceAllocine, FMovie, "", "");
    const TOrderedJson Json = TOrderedJson::parse(Record("allocine-\xE9t\xE9.avi.json"));
    EXPECT_TRUE(
        DDKEndsText("/Films/\xEF\xBF\xBDt\xEF\xBF\xBD.avi", Json["feed"]["filename"].get<std::string>()));
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

    EXPECT_EQ(RecordNames(), TNames{"allocine-Le film.avi.json"}) << "no temporary file is left behind";
    const TOrderedJson Json = TOrderedJson::parse(Record("allocine-Le film.avi.json"));
    EXPECT_EQ(Json["feed"]["movie"].size(), 2001u);
    EXPECT_EQ(Json["feed"]["mcdir"], "dir");
}
