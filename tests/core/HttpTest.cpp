#include "FakeServices.h"
#include "HttpObject.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

constexpr const char* Host = "api.example.com";

std::string UrlOf(const std::string& Path)
{
    return std::string("http://") + Host + Path;
}

class HttpTest : public testing::Test
{
protected:
    HttpTest()
    {
        Http.RetryPause = std::chrono::milliseconds(1);
        Http.ReadTimeout = std::chrono::seconds(5);
    }

    FakeServices Fake;
    THttpObject Http;
    std::string Stream;
};

FakeAnswer WithBody(FakeAnswer Answer, std::string Body)
{
    Answer.Body = std::move(Body);
    return Answer;
}

TEST_F(HttpTest, RetryRuleAndResultOfEachStatus)
{
    struct TCase
    {
        const char* Name;
        std::vector<std::pair<FakeAnswer, int>> Answers; // answer, times
        std::string StreamBefore;
        std::optional<bool> Result; // empty: an error is raised
        std::string ErrorPart;
        int Requests;
        std::string StreamAfter;
    };
    const TCase Cases[] = {
        {"five busy answers",
         {{FakeAnswer::Status(503), 5}, {FakeAnswer::Text("never"), 1}},
         "",
         false,
         "",
         5,
         ""},
        {"busy once, then an answer",
         {{WithBody(FakeAnswer::Status(503), "busy page"), 1}, {FakeAnswer::Text("movie"), 1}},
         "",
         true,
         "",
         2,
         "movie"},
        {"missing", {{WithBody(FakeAnswer::Status(404), "not here"), 1}}, "", false, "", 1, ""},
        {"missing in other letter case",
         {{FakeAnswer::Status(404, "Not found"), 1}},
         "",
         {},
         "404 Not found",
         1,
         ""},
        {"server error", {{FakeAnswer::Status(500), 1}}, "", {}, "HTTP/1.1 500 Internal Server Error", 1, ""},
        {"empty body", {{FakeAnswer::Text(""), 1}}, "", {}, "The stream returned by the API is empty", 1, ""},
        {"empty body after earlier bytes", {{FakeAnswer::Text(""), 1}}, "kept", true, "", 1, "kept"},
        {"body appended", {{FakeAnswer::Text("-new"), 1}}, "old", true, "", 1, "old-new"},
        {"dropped connection",
         {{FakeAnswer::Dropped(), 1}, {FakeAnswer::Text("late"), 1}},
         "",
         {},
         "",
         1,
         ""},
    };
    for (int Index = 0; const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        const std::string Path = "/case/" + std::to_string(Index++);
        for (const auto& [Answer, Times] : Case.Answers)
            Fake.Answer(Host, Path, Answer, Times);
        Stream = Case.StreamBefore;
        if (Case.Result) {
            EXPECT_EQ(Http.CallHttp(UrlOf(Path), Stream), *Case.Result);
        } else {
            try {
                Http.CallHttp(UrlOf(Path), Stream);
                ADD_FAILURE() << "no error raised";
            } catch (const std::exception& Error) {
                const std::string Text = Error.what();
                EXPECT_TRUE(Text.starts_with("[CallHttp \"" + UrlOf(Path) + "\"] ")) << Text;
                EXPECT_NE(Text.find(Case.ErrorPart), std::string::npos) << Text;
            }
        }
        EXPECT_EQ(Fake.Count(Host, Path), Case.Requests);
        EXPECT_EQ(Stream, Case.StreamAfter);
    }
}

TEST_F(HttpTest, CompressedBodiesArriveDecoded)
{
    const std::string Body(5000, 'x');
    Fake.Answer(Host, "/gzip", FakeAnswer::Text(Body + "gzip", FakeAnswer::Gzip));
    Fake.Answer(Host, "/deflate", FakeAnswer::Text(Body + "deflate", FakeAnswer::Deflate));

    ASSERT_TRUE(Http.CallHttp(UrlOf("/gzip"), Stream));
    EXPECT_EQ(Stream, Body + "gzip");
    Stream.clear();
    ASSERT_TRUE(Http.CallHttp(UrlOf("/deflate"), Stream));
    EXPECT_EQ(Stream, Body + "deflate");

    const std::string Accepted = Fake.Requests().at(0).Header("Accept-Encoding");
    EXPECT_NE(Accepted.find("gzip"), std::string::npos);
    EXPECT_NE(Accepted.find("deflate"), std::string::npos);
}

TEST_F(HttpTest, BadGzipBodyIsAnError)
{
    FakeAnswer Broken = FakeAnswer::Text("this is not gzip at all");
    Broken.Headers.emplace_back("Content-Encoding", "gzip");
    Fake.Answer(Host, "/broken", Broken);

    EXPECT_THROW(Http.CallHttp(UrlOf("/broken"), Stream), std::exception);
    EXPECT_EQ(Stream, "");
}

TEST_F(HttpTest, FollowsUpToFifteenRedirects)
{
    // /hop/N redirects to /hop/N+1; /hop/15 answers and /hop/16 is never reached.
    for (int Hop = 0; Hop < 16; ++Hop)
        Fake.Default(Host, "/hop/" + std::to_string(Hop),
                     FakeAnswer::Redirect(UrlOf("/hop/" + std::to_string(Hop + 1))));
    Fake.Answer(Host, "/hop/15", FakeAnswer::Text("arrived"));
    Fake.Answer(Host, "/hop/16", FakeAnswer::Text("arrived too far"));

    EXPECT_TRUE(Http.CallHttp(UrlOf("/hop/0"), Stream));
    EXPECT_EQ(Stream, "arrived");

    Stream.clear();
    EXPECT_THROW(Http.CallHttp(UrlOf("/hop/0"), Stream), std::exception) << "sixteen redirects";
    EXPECT_EQ(Fake.Count(Host, "/hop/16"), 0);
    EXPECT_EQ(Stream, "");
}

TEST_F(HttpTest, RedirectLoopEnds)
{
    Fake.Default(Host, "/loop", FakeAnswer::Redirect(UrlOf("/loop")));
    EXPECT_THROW(Http.CallHttp(UrlOf("/loop"), Stream), std::exception);
    EXPECT_EQ(Fake.Count(Host, "/loop"), 16);
}

TEST_F(HttpTest, OnlyWebAddressesAreFetched)
{
    TempFolder Folder;
    const std::string Secret = Folder.Write("secret.txt", "local file");
    Fake.Answer(Host, "/to-file", FakeAnswer::Redirect("file://" + Secret));

    EXPECT_THROW(Http.CallHttp("file://" + Secret, Stream), std::exception);
    EXPECT_THROW(Http.CallHttp(UrlOf("/to-file"), Stream), std::exception);
    EXPECT_EQ(Stream, "");
}

TEST_F(HttpTest, SilentServerTimesOut)
{
    Http.ReadTimeout = std::chrono::milliseconds(1000);
    Fake.Answer(Host, "/slow", FakeAnswer::Slow(std::chrono::seconds(60)));
    try {
        Http.CallHttp(UrlOf("/slow"), Stream);
        ADD_FAILURE() << "no error raised";
    } catch (const std::exception& Error) {
        EXPECT_TRUE(std::string(Error.what()).starts_with("[CallHttp \"" + UrlOf("/slow") + "\"] "));
    }
    EXPECT_EQ(Fake.Count(Host, "/slow"), 1);
}

TEST_F(HttpTest, SendsUserAgentAndKeepsCookies)
{
    FakeAnswer First = FakeAnswer::Text("first");
    First.Headers.emplace_back("Set-Cookie", "visitor=42; Path=/");
    Fake.Answer(Host, "/first", First);
    Fake.Answer(Host, "/second", FakeAnswer::Text("second"));

    ASSERT_TRUE(Http.CallHttp(UrlOf("/first"), Stream));
    ASSERT_TRUE(Http.CallHttp(UrlOf("/second"), Stream));

    const std::vector<FakeRequest> Requests = Fake.Requests();
    ASSERT_EQ(Requests.size(), 2u);
    EXPECT_EQ(Requests[0].Method, "GET");
    EXPECT_EQ(Requests[0].Header("User-Agent"),
              "Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.2; Trident/6.0; MSAppHost/1.0)");
    EXPECT_EQ(Requests[0].Header("Cookie"), "");
    EXPECT_EQ(Requests[1].Header("Cookie"), "visitor=42");
}

} // namespace
