#include "FakeServices.h"
#include "HttpObject.h"

#include <gtest/gtest.h>

namespace {

// The scripting that the tests of every layer rely on: query filters before
// general routes, prefix paths, queues before the default answer, 404 for the
// rest, and requests recorded as sent.
TEST(FakeServicesTest, RoutesAndRecordsRequests)
{
    FakeServices Fake;
    THttpObject Http;
    Fake.Default("api.example.com", "/movie", FakeAnswer::Text("general"));
    Fake.Answer("api.example.com", "/movie", FakeAnswer::Text("first"));
    Fake.Default("api.example.com", "/movie", FakeAnswer::Text("code 7"), "code=7");
    Fake.Default("pictures.example.com", "/medias/*", FakeAnswer::Text("picture"));

    const struct
    {
        const char* Url;
        std::optional<std::string> Body; // empty: not found
    } Cases[] = {
        {"http://api.example.com/movie?code=1", "first"},
        {"http://api.example.com/movie?code=1", "general"},
        {"http://API.example.com/movie?format=json&code=7", "code 7"},
        {"http://pictures.example.com/medias/00/1.jpg", "picture"},
        {"http://pictures.example.com/other.jpg", std::nullopt},
        {"http://elsewhere.example.com/movie", std::nullopt},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Url);
        std::string Stream;
        EXPECT_EQ(Http.CallHttp(Case.Url, Stream), Case.Body.has_value());
        EXPECT_EQ(Stream, Case.Body.value_or(""));
    }

    const std::vector<FakeRequest> Requests = Fake.Requests();
    ASSERT_EQ(Requests.size(), std::size(Cases));
    EXPECT_EQ(Requests[2].Host, "api.example.com");
    EXPECT_EQ(Requests[2].Path, "/movie");
    EXPECT_EQ(Requests[2].Query, "format=json&code=7");
    EXPECT_EQ(Fake.Count("api.example.com", "/movie"), 3);
    EXPECT_TRUE(Fake.WaitForRequests(std::size(Cases)));
}

} // namespace
