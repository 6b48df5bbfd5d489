#include "ServiceUrls.h"
#include "DDKConversion.h"
#include "DDKStrings.h"
#include "ServiceSettings.h"
#include "TempFolder.h"
#include "UnitTypes.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// Base64 of the SHA-1 of Text as the openssl command-line tool computes it.
std::string OpensslSignature(const std::string& Text)
{
    TempFolder Folder;
    const std::string Command =
        "openssl dgst -sha1 -binary '" + Folder.Write("signed.txt", Text) + "' | openssl base64 -A";
    FILE* Pipe = popen(Command.c_str(), "r");
    std::string Result;
    char Buffer[128];
    while (Pipe && std::fgets(Buffer, sizeof Buffer, Pipe))
        Result += Buffer;
    if (Pipe)
        pclose(Pipe);
    return DDKTrim(Result);
}

TEST(ServiceUrlsTest, AllocineAddressIsSignedWithTheSecretKeyAndTheDay)
{
    const std::string Start = std::string("http://") + AllocineApiHost + "/rest/v3/search?";
    bool SawPlus = false;
    // Many queries, so that some signature holds a '+' to be encoded.
    for (int Number = 0; Number < 40; ++Number) {
        const std::string Query =
            "format=json&filter=movie&count=10&q=le+grand+bleu+" + std::to_string(Number);
        const std::string Url = GetAllocineUrl("search", Query, DDKEncodeDate(2026, 3, 9) + 0.25);
        const std::string Signed = Query + "&partner=" + AllocinePartner + "&sed=20260309";
        const std::string Expected = OpensslSignature(AllocineSecret + Signed);
        ASSERT_EQ(Expected.size(), 28u) << Expected;
        EXPECT_EQ(Url, Start + Signed + "&sig=" + DDKReplaceAll(Expected, "+", "%2B"));
        SawPlus = SawPlus || Expected.find('+') != std::string::npos;
    }
    EXPECT_TRUE(SawPlus);

    const std::string Query = "profile=medium&format=json&code=5126";
    const std::string Monday = GetAllocineUrl("movie", Query, DDKEncodeDate(2026, 3, 9) + 0.9);
    EXPECT_NE(Monday.find("&sed=20260309&sig="), std::string::npos);
    const std::string Tuesday = GetAllocineUrl("movie", Query, DDKEncodeDate(2026, 3, 10));
    EXPECT_EQ(Tuesday.substr(0, Tuesday.find("&sed=")), Monday.substr(0, Monday.find("&sed=")));
    EXPECT_NE(Tuesday.substr(Tuesday.find("&sig=")), Monday.substr(Monday.find("&sig=")));
}

TEST(ServiceUrlsTest, TmdbSearch)
{
    const std::string Start = DDKFormat(
        "http://%s/3/search/movie?api_key=%s&query=le+grand+bleu&page=1&language=fr&include_adult=false",
        TmdbApiHost, TmdbApiKey);
    EXPECT_EQ(GetTmdbSearchUrl("le+grand+bleu", ""), Start);
    EXPECT_EQ(GetTmdbSearchUrl("le+grand+bleu", "1988"), Start + "&year=1988");
    TMovieInfo Movie;
    Movie.OriginalTitle = "L'Âge de glace: Spider-Man 2";
    EXPECT_EQ(GetTmdbQuery(Movie), "l'age+de+glace+spider+man+2");
}

} // namespace
