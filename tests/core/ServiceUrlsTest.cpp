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
    const std::string FileName = Folder.Write("signed.txt", Text);
    const std::string Command = "openssl dgst -sha1 -binary '" + FileName + "' | openssl base64 -A";
    FILE* Pipe = popen(Command.c_str(), "r");
    if (!Pipe)
        return "<openssl failed>";
    std::string Result;
    char Buffer[128];
    while (std::fgets(Buffer, sizeof Buffer, Pipe))
        Result += Buffer;
    pclose(Pipe);
    return DDKTrim(Result);
}

// The query between '?' and "&sig=", and the signature after it.
std::pair<std::string, std::string> SplitSigned(const std::string& Url)
{
    const size_t Question = Url.find('?');
    const size_t Sig = Url.find("&sig=");
    return {Url.substr(Question + 1, Sig - Question - 1), Url.substr(Sig + 5)};
}

TEST(ServiceUrlsTest, AllocineAddressIsSignedWithTheSecretKey)
{
    const TDateTime Day = DDKEncodeDate(2026, 3, 9);
    const std::string Partner = AllocinePartner;
    bool SawPlus = false;
    // Many queries, so that some signature holds a '+' to be encoded.
    for (int Number = 0; Number < 40; ++Number) {
        const std::string Query =
            "format=json&filter=movie&count=10&q=le+grand+bleu+" + std::to_string(Number);
        const std::string Url = GetAllocineUrl("search", Query, Day);
        SCOPED_TRACE(Url);

        const auto [Signed, Signature] = SplitSigned(Url);
        EXPECT_TRUE(Url.starts_with(std::string("http://") + AllocineApiHost + "/rest/v3/search?"));
        EXPECT_EQ(Signed, Query + "&partner=" + Partner + "&sed=20260309");
        const std::string Expected = OpensslSignature(AllocineSecret + Signed);
        ASSERT_EQ(Expected.size(), 28u) << Expected;
        EXPECT_EQ(Signature, DDKReplaceAll(Expected, "+", "%2B"));
        SawPlus = SawPlus || Expected.find('+') != std::string::npos;
    }
    EXPECT_TRUE(SawPlus);
}

TEST(ServiceUrlsTest, AllocineSignatureChangesWithTheDay)
{
    const std::string Query = "profile=medium&format=json&code=5126";
    const std::string Monday = GetAllocineUrl("movie", Query, DDKEncodeDate(2026, 3, 9) + 0.25);
    EXPECT_EQ(Monday, GetAllocineUrl("movie", Query, DDKEncodeDate(2026, 3, 9) + 0.9));
    const std::string Tuesday = GetAllocineUrl("movie", Query, DDKEncodeDate(2026, 3, 10));
    EXPECT_NE(SplitSigned(Monday).second, SplitSigned(Tuesday).second);
    EXPECT_NE(Tuesday.find("&sed=20260310&sig="), std::string::npos);
}

TEST(ServiceUrlsTest, TmdbSearch)
{
    const std::string Start = DDKFormat(
        "http://%s/3/search/movie?api_key=%s&query=le+grand+bleu&page=1&language=fr&include_adult=false",
        TmdbApiHost, TmdbApiKey);
    EXPECT_EQ(GetTmdbSearchUrl("le+grand+bleu", ""), Start);
    EXPECT_EQ(GetTmdbSearchUrl("le+grand+bleu", "1988"), Start + "&year=1988");

    const struct
    {
        const char* OriginalTitle;
        const char* Query;
    } Cases[] = {
        {"L'Âge de glace", "l'age+de+glace"},
        {"Spider-Man 2", "spider+man+2"},
        {"", ""},
    };
    for (const auto& Case : Cases) {
        TMovieInfo Movie;
        Movie.OriginalTitle = Case.OriginalTitle;
        EXPECT_EQ(GetTmdbQuery(Movie), Case.Query) << Case.OriginalTitle;
    }
}

} // namespace
