#include "MetadataTestHelpers.h"
#include "UnitMetadata.h"

#include "FakeServices.h"
#include "HttpObject.h"
#include "TempFolder.h"
#include "UnitConfig.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

const std::string Allocine = "images.allocine.test", Tmdb = "image.tmdb.test";

class PosterCache : public testing::Test
{
protected:
    void SetUp() override
    {
        Config.CacheDir = FFolder.MakeFolder("Cache");
        Config.ImageBaseUrl = "http://" + Tmdb + "/t/p/";
        FHttp.RetryPause = std::chrono::milliseconds(1);
    }
    void TearDown() override { Config = FSavedConfig; }

    const TConfig FSavedConfig = Config;
    TempFolder FFolder;
    FakeServices FFake;
    THttpObject FHttp;
    TMetadata FMetadata;
};

} // namespace

TEST_F(PosterCache, AllocineThumbnailsAreFetchedOnceAndOneFailureStopsNoOther)
{
    FFake.Answer(Allocine, "/r_75_106/medias/nmedia/a.jpg", FakeAnswer::Text("picture a"));
    FFake.Answer(Allocine, "/r_75_106/medias/b.JPEG", FakeAnswer::Text("picture b"));
    FFake.Answer(Allocine, "/r_75_106/medias/x/medias/c.png", FakeAnswer::Text("picture c"));
    FFake.Answer(Allocine, "/r_75_106/medias/missing.jpg", FakeAnswer::Status(404));
    FFake.Default(Allocine, "/r_75_106/medias/busy.jpg", FakeAnswer::Status(503));
    const std::pair<int, std::string> Posters[] = {
        {1, "/medias/nmedia/a.jpg"}, {3, "/medias/missing.jpg"}, {4, "/medias/busy.jpg"},
        {5, "not an address"},       {6, "/Medias/b.JPEG"},      {7, "/medias/x/medias/c.png"}};
    nlohmann::json Movies = {{{"code", 2}, {"title", "no poster"}}};
    for (const auto& [Code, Href] : Posters)
        Movies.push_back(
            {{"code", Code}, {"poster", {{"href", (Code == 5 ? "" : "http://" + Allocine) + Href}}}});
    const std::string Answer = nlohmann::json{{"feed", {{"movie", Movies}}}}.dump();

    FMetadata.SavePosterCache(Answer, SourceAllocine, FHttp);
    EXPECT_EQ(EntryNames(Config.CacheDir),
              (std::set<std::string>{"allocine-1.jpg", "allocine-6.jpg", "allocine-7.png"}));
    EXPECT_EQ(ReadWholeFile(Config.CacheDir + "/allocine-6.jpg"), "picture b");
    EXPECT_EQ(FFake.Count(Allocine, "/r_75_106/medias/missing.jpg"), 1);
    EXPECT_EQ(FFake.Count(Allocine, "/r_75_106/medias/busy.jpg"), 5);

    // Present pictures are not fetched again; the missing ones are asked again.
    const std::size_t RequestsBefore = FFake.Requests().size();
    FMetadata.SavePosterCache(Answer, SourceAllocine, FHttp);
    EXPECT_EQ(FFake.Requests().size(), RequestsBefore + 1 + 5);
}

TEST_F(PosterCache, XmlAnswersTmdbResultsAndUnreadableAnswers)
{
    FFake.Answer(Allocine, "/pictures/d.gif", FakeAnswer::Text("picture d"), 2);
    FFake.Answer(Tmdb, "/t/p/w92/p1.jpg", FakeAnswer::Text("poster 1"));
    FFake.Answer(Tmdb, "/thumbs/p3.jpeg", FakeAnswer::Text("poster 3"));
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
              (std::set<std::string>{"allocine-8.gif", "tmdb-11.jpg", "tmdb-13.jpg"}));
    EXPECT_EQ(EntryNames(FFolder.Path().string()), std::set<std::string>{"Cache"});
    EXPECT_EQ(FFake.Requests().size(), 3u);

    for (const std::string Answer : {"{\"feed\":", "{\"results\":[]}", "<feed>"})
        EXPECT_TRUE(ErrorOf([&] {
                        FMetadata.SavePosterCache(Answer, SourceAllocine, FHttp);
                    }).starts_with("[TMetadata.SavePosterCache] "))
            << Answer;
    EXPECT_EQ(FFake.Requests().size(), 3u);
}
