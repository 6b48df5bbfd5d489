#include "FakeServices.h"
#include "HttpObject.h"

#include <gtest/gtest.h>

// Query filters before general routes, prefix paths, queues before the default, 404 for the rest.
TEST(FakeServicesTest, RoutesAndRecordsRequests)
{
    FakeServices Fake;
    THttpObject Http;
    Fake.Default("api.example.com", "/movie", FakeAnswer::Text("general"));
    Fake.Answer("api.example.com", "/movie", FakeAnswer::Text("first"));
    Fake.Default("api.example.com", "/movie", FakeAnswer::Text("code 7"), "code=7");
    Fake.Default("pictures.example.com", "/medias/*", FakeAnswer::Text("picture"));

    const std::pair<const char*, std::string> Cases[] = {
        {"http://api.example.com/movie?code=1", "first"},
        {"http://api.example.com/movie?code=1", "general"},
        {"http://API.example.com/movie?format=json&code=7", "code 7"},
        {"http://pictures.example.com/medias/00/1.jpg", "picture"},
        {"http://pictures.example.com/other.jpg", ""}, // not found
    };
    for (const auto& [Url, Body] : Cases) {
        std::string Stream;
        EXPECT_EQ(Http.CallHttp(Url, Stream), !Body.empty()) << Url;
        EXPECT_EQ(Stream, Body) << Url;
    }

    const FakeRequest Third = Fake.Requests().at(2);
    EXPECT_EQ(Third.Host + Third.Path + "?" + Third.Query, "api.example.com/movie?format=json&code=7");
    EXPECT_EQ(Fake.Count("api.example.com", "/movie"), 3);
}
