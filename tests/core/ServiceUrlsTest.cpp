#include "ServiceUrls.h"
#include "DDKConversion.h"
#include "DDKStrings.h"
#include "ServiceSettings.h"
#include "TempFolder.h"
#include "UnitTypes.h"

#include <gtest/gtest.h>

#include <cstdio>

// Base64 of the SHA-1 of Text as the openssl command-line tool computes it.
static std::string OpensslSignature(const std::string& Text)
{
    TempFolder Folder;
    const std::string Command =
        "openssl dgst -sha1 -binary '" + Folder.Write("signed.txt", Text) + "' | openssl base64 -A";
    FILE* Pipe = popen(Command.c_str(), "r");
    std::string Result(64, '\0');
    Result.resize(Pipe ? std::fread(Result.data(), 1, Result.size(), Pipe) : 0);
    if (Pipe)
        pclose(Pipe);
    return DDKTrim(Result);
}

TEST(ServiceUrlsTest, SignedAllocineAddressAndTmdbQuery)
{
    const std::string Start = std::string("http://") + AllocineApiHost + "/rest/v3/search?";
    bool SawPlus = false;
    // Many queries, so that some signature holds a '+' to be encoded; late in the day is still that day.
    for (int Number = 0; Number < 40; ++Number) {
        const std::string Query = "format=json&q=le+grand+bleu+" + std::to_string(Number);
        const std::string Url = GetAllocineUrl("search", Query, DDKEncodeDate(2026, 3, 9) + 0.99);
        const std::string Signed = Query + "&partner=" + AllocinePartner + "&sed=20260309";
        const std::string Expected = OpensslSignature(AllocineSecret + Signed);
        ASSERT_EQ(Expected.size(), 28u) << Expected;
        EXPECT_EQ(Url, Start + Signed + "&sig=" + DDKReplaceAll(Expected, "+", "%2B"));
        SawPlus = SawPlus || Expected.find('+') != std::string::npos;
    }
    EXPECT_TRUE(SawPlus);

    TMovieInfo Movie;
    Movie.OriginalTitle = "L'Âge de glace: Spider-Man 2";
    EXPECT_EQ(GetTmdbQuery(Movie), "l'age+de+glace+spider+man+2");
}
