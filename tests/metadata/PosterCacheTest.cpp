// The poster cache against the fake picture servers: which address is
// fetched, what the cached file is called, that a present file is never
// fetched again and that one bad result never stops the others.
#include "UnitMetadata.h"

#include "DDKStrings.h"
#include "FakeServices.h"
#include "HttpObject.h"
#include "TempFolder.h"
#include "UnitConfig.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace {

constexpr const char* AllocinePictures = "images.allocine.test";
constexpr const char* TmdbPictures = "image.tmdb.test";

class PosterCache : public testing::Test
{
protected:
    void SetUp() override
    {
        FSavedConfig = Config;
        Config.CacheDir = FFolder.MakeFolder("Cache");
        Config.ImageBaseUrl = std::string("http://") + TmdbPictures + "/t/p/";
        FHttp.RetryPause = std::chrono::milliseconds(1);
    }
    void TearDown() override { Config = FSavedConfig; }

    std::vector<std::string> CacheNames() const
    {
        std::vector<std::string> Names;
        for (const auto& Entry : std::filesystem::directory_iterator(Config.CacheDir))
            Names.push_back(Entry.path().filename().string());
        std::sort(Names.begin(), Names.end());
        return Names;
    }
    std::string Cached(const std::string& Name) const { return ReadWholeFile(Config.CacheDir + "/" + Name); }

    TempFolder FFolder;
    FakeServices FFake;
    THttpObject FHttp;
    TMetadata FMetadata;

private:
    TConfig FSavedConfig;
};

using TNames = std::vector<std::string>;

std::string AllocineUrl(const std::string& Path)
{
    return std::string("http://") + AllocinePictures + Path;
}

} // namespace

TEST_F(PosterCache, AllocineResultsAreCachedAsThumbnailsAndNeverFetchedTwice)
{
    FFake.Answer(AllocinePictures, "/r_75_106/medias/nmedia/a.jpg", FakeAnswer::Text("picture a"));
    FFake.Answer(AllocinePictures, "/r_75_106/medias/b.JPEG", FakeAnswer::Text("picture b"));
    FFake.Answer(AllocinePictures, "/r_75_106/medias/x/medias/c.png", FakeAnswer::Text("picture c"));
    FFake.Answer(AllocinePictures, "/r_75_106/medias/missing.jpg", FakeAnswer::Status(404));
    FFake.Default(AllocinePictures, "/r_75_106/medias/busy.jpg", FakeAnswer::Status(503));
    const std::pair<int, std::string> Posters[] = {
        {1, AllocineUrl("/medias/nmedia/a.jpg")}, {3, AllocineUrl("/medias/missing.jpg")},
        {4, AllocineUrl("/medias/busy.jpg")},     {5, "not an address"},
        {6, AllocineUrl("/Medias/b.JPEG")},       {7, AllocineUrl("/medias/x/medias/c.png")}};
    nlohmann::json Movies = {{{"code", 2}, {"title", "no poster"}}};
    for (const auto& [Code, Href] : Posters)
        Movies.push_back({{"code", Code}, {"poster", {{"href", Href}}}});
    const std::string Answer = nlohmann::json{{"feed", {{"movie", Movies}}}}.dump();

    FMetadata.SavePosterCache(Answer, SourceAllocine, FHttp);
    EXPECT_EQ(CacheNames(), (TNames{"allocine-1.jpg", "allocine-6.jpg", "allocine-7.png"}));
    EXPECT_EQ(Cached("allocine-1.jpg"), "picture a");
    EXPECT_EQ(Cached("allocine-6.jpg"), "picture b");
    EXPECT_EQ(FFake.Count(AllocinePictures, "/r_75_106/medias/missing.jpg"), 1);
    EXPECT_EQ(FFake.Count(AllocinePictures, "/r_75_106/medias/busy.jpg"), 5);

    // Present pictures are neither fetched nor rewritten; the missing ones are asked again.
    const std::size_t RequestsBefore = FFake.Requests().size();
    FMetadata.SavePosterCache(Answer, SourceAllocine, FHttp);
    EXPECT_EQ(FFake.Requests().size(), RequestsBefore + 1 + 5);
}

TEST_F(PosterCache, XmlAnswersAndTmdbResults)
{
    FFake.Answer(AllocinePictures, "/pictures/d.gif", FakeAnswer::Text("picture d"), 2);
    FFake.Answer(TmdbPictures, "/t/p/w92/p1.jpg", FakeAnswer::Text("poster 1"));
    FFake.Answer(TmdbPictures, "/thumbs/p3.jpeg", FakeAnswer::Text("poster 3"));
    // A code that is not a number must not lead the picture out of the cache folder.
    FMetadata.SavePosterCache("<feed><movie code=\"8\"><poster href=\"" + AllocineUrl("/pictures/d.gif") +
                                  "\"/></movie><movie code=\"../escape\"><poster href=\"" +
                                  AllocineUrl("/pictures/d.gif") + "\"/></movie></feed>",
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
    EXPECT_EQ(CacheNames(), (TNames{"allocine-8.gif", "tmdb-11.jpg", "tmdb-13.jpg"}));
    EXPECT_FALSE(std::filesystem::exists(FFolder / "escape.gif"));
    EXPECT_EQ(FFake.Requests().size(), 3u);
}

TEST_F(PosterCache, AnswersWithoutResultsOrThatCannotBeReadAreTold)
{
    FMetadata.SavePosterCache(R"({"feed":{"totalResults":0}})", SourceAllocine, FHttp);
    FMetadata.SavePosterCache(R"({"results":[]})", SourceTmdb, FHttp);
    FMetadata.SavePosterCache("<feed/>", SourceAllocine, FHttp);
    EXPECT_TRUE(CacheNames().empty());

    for (const std::string& Answer :
         {std::string("{\"feed\":"), std::string("{\"results\":[]}"), std::string("<feed>")}) {
        try {
            FMetadata.SavePosterCache(Answer, SourceAllocine, FHttp);
            ADD_FAILURE() << "no error for " << Answer;
        } catch (const std::exception& Error) {
            EXPECT_TRUE(DDKStartsText("[TMetadata.SavePosterCache] ", Error.what())) << Error.what();
        }
    }
    EXPECT_TRUE(FFake.Requests().empty());
}
