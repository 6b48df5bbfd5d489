// The poster cache against a search answer that a hostile service could give:
// far more results than a search can show, pictures on this computer.
#include "MetadataTestHelpers.h"
#include "UnitMetadata.h"

#include "DDKStrings.h"
#include "FakeServices.h"
#include "HttpObject.h"
#include "TempFolder.h"
#include "UnitConfig.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

TEST(PosterCacheTest, OnlyTheResultsASearchCanShowGetAThumbnailAndNoneComesFromThisComputer)
{
    const TConfig Saved = Config;
    TempFolder Folder;
    Config.CacheDir = Folder.MakeFolder("Cache");
    Config.ImageBaseUrl = "http://image.tmdb.test/t/p/";
    FakeServices Fake;
    Fake.Default("images.allocine.test", "/r_75_106/medias/*", FakeAnswer::Text("thumbnail"));
    Fake.Default("image.tmdb.test", "/t/p/w92/*", FakeAnswer::Text("thumbnail"));
    Fake.Default("127.0.0.1", "/r_75_106/medias/*", FakeAnswer::Text("local page"));

    // Each answer form gives its results other codes; the first result's
    // picture lies on this computer.
    nlohmann::json AllocineMovies = nlohmann::json::array(), TmdbResults = nlohmann::json::array();
    std::string AllocineXml = "<feed>", TmdbXml = "<OpenSearchDescription><movies>";
    for (int Code = 1; Code <= 500; ++Code) {
        const std::string Host = Code == 1 ? "127.0.0.1" : "images.allocine.test";
        const std::string Poster = DDKFormat("http://%s/medias/%d.jpg", Host.c_str(), Code);
        AllocineMovies.push_back({{"code", Code}, {"poster", {{"href", Poster}}}});
        AllocineXml +=
            DDKFormat("<movie code=\"%d\"><poster href=\"%s\"/></movie>", Code + 1000, Poster.c_str());
        TmdbResults.push_back({{"id", Code}, {"poster_path", DDKFormat("/%d.jpg", Code)}});
        TmdbXml += DDKFormat("<movie><id>%d</id><images><image type=\"poster\" size=\"thumb\" "
                             "url=\"http://image.tmdb.test/t/p/w92/%d.jpg\"/></images></movie>",
                             Code + 1000, Code);
    }
    TMetadata Metadata;
    THttpObject Http;
    Metadata.SavePosterCache(nlohmann::json{{"feed", {{"movie", AllocineMovies}}}}.dump(), SourceAllocine,
                             Http);
    Metadata.SavePosterCache(AllocineXml + "</feed>", SourceAllocine, Http);
    Metadata.SavePosterCache(nlohmann::json{{"results", TmdbResults}}.dump(), SourceTmdb, Http);
    Metadata.SavePosterCache(TmdbXml + "</movies></OpenSearchDescription>", SourceTmdb, Http);

    // Ten AlloCine results (the first one refused), TMDb's first page of twenty.
    std::set<std::string> Expected;
    for (const int Base : {0, 1000}) {
        for (int Code = 2; Code <= 10; ++Code)
            Expected.insert(DDKFormat("allocine-%d.jpg", Base + Code));
        for (int Code = 1; Code <= 20; ++Code)
            Expected.insert(DDKFormat("tmdb-%d.jpg", Base + Code));
    }
    EXPECT_EQ(EntryNames(Config.CacheDir), Expected);
    EXPECT_EQ(Fake.Requests().size(), Expected.size());
    Config = Saved;
}
