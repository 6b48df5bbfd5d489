#include "FakeServices.h"
#include "HttpObject.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <tuple>

constexpr const char* Host = "api.example.com";

const std::string Root = std::string("http://") + Host;

using Script = std::vector<std::pair<FakeAnswer, int>>; // answer, times

class HttpTest : public testing::Test
{
protected:
    HttpTest()
    {
        Http.RetryPause = std::chrono::milliseconds(1);
        Http.ReadTimeout = std::chrono::seconds(1);
    }

    // Scripts Path with Answers and fetches it into Stream.
    bool Call(const std::string& Path, const Script& Answers)
    {
        for (const auto& [Answer, Times] : Answers)
            Fake.Answer(Host, Path, Answer, Times);
        return Http.CallHttp(Root + Path, Stream);
    }

    FakeServices Fake;
    THttpObject Http;
    std::string Stream;
};

TEST_F(HttpTest, RetriesOnlyBusyAnswersAndAppendsTheBody)
{
    // Answers, stream before, result, requests, stream after.
    const std::tuple<Script, std::string, bool, int, std::string> Cases[] = {
        {{{FakeAnswer::Status(503), 5}, {FakeAnswer::Text("never"), 1}}, "", false, 5, ""},
        {{{{.Code = 503, .Body = "busy page"}, 1}, {FakeAnswer::Text("movie"), 1}}, "", true, 2, "movie"},
        {{{{.Code = 404, .Body = "not here"}, 1}}, "", false, 1, ""},
        {{{FakeAnswer::Text(""), 1}}, "kept", true, 1, "kept"}, // empty only counts when nothing came before
        {{{FakeAnswer::Text("-new"), 1}}, "old", true, 1, "old-new"},
    };
    for (int Index = 0; const auto& [Answers, Before, Result, Requests, After] : Cases) {
        const std::string Path = "/case/" + std::to_string(Index++);
        SCOPED_TRACE(Path);
        Stream = Before;
        EXPECT_EQ(Call(Path, Answers), Result);
        EXPECT_EQ(Fake.Count(Host, Path), Requests);
        EXPECT_EQ(Stream, After);
    }
}

TEST_F(HttpTest, FailuresRaiseOnceWithTheAddress)
{
    TempFolder Folder;
    const std::string Secret = Folder.Write("secret.txt", "local file");
    FakeAnswer BadGzip = FakeAnswer::Text("this is not gzip at all");
    BadGzip.Headers.emplace_back("Content-Encoding", "gzip");
    const std::pair<Script, std::string> Cases[] = {
        {{{FakeAnswer::Status(404, "Not found"), 1}}, "404 Not found"}, // only the exact phrase means missing
        {{{FakeAnswer::Status(500), 1}}, "HTTP/1.1 500 Internal Server Error"},
        {{{FakeAnswer::Text(""), 1}}, "The stream returned by the API is empty"},
        {{{FakeAnswer::Dropped(), 1}, {FakeAnswer::Text("late"), 1}}, ""},
        {{{BadGzip, 1}}, ""},
        {{{FakeAnswer::Slow(std::chrono::seconds(60)), 1}}, ""},
        {{{FakeAnswer::Redirect("file://" + Secret), 1}}, ""}, // only web addresses, also after a redirect
    };
    for (int Index = 0; const auto& [Answers, Part] : Cases) {
        const std::string Path = "/case/" + std::to_string(Index++);
        SCOPED_TRACE(Path);
        Stream.clear();
        try {
            Call(Path, Answers);
            ADD_FAILURE() << "no error raised";
        } catch (const std::exception& Error) {
            const std::string Text = Error.what();
            EXPECT_TRUE(Text.starts_with("[CallHttp \"" + Root + Path + "\"] ")) << Text;
            EXPECT_NE(Text.find(Part), std::string::npos) << Text;
        }
        EXPECT_EQ(Fake.Count(Host, Path), 1);
        EXPECT_EQ(Stream, "");
    }
    EXPECT_THROW(Http.CallHttp("file://" + Secret, Stream), std::exception);
}

TEST_F(HttpTest, CompressedBodiesArriveDecoded)
{
    const std::string Body(5000, 'x');
    ASSERT_TRUE(Call("/gzip", {{FakeAnswer::Text(Body + "gzip", FakeAnswer::Gzip), 1}}));
    ASSERT_TRUE(Call("/deflate", {{FakeAnswer::Text(Body + "deflate", FakeAnswer::Deflate), 1}}));
    EXPECT_EQ(Stream, Body + "gzip" + Body + "deflate");
}

TEST_F(HttpTest, FollowsUpToFifteenRedirects)
{
    for (int Hop = 0; Hop < 16; ++Hop)
        Fake.Default(Host, "/hop/" + std::to_string(Hop),
                     FakeAnswer::Redirect(Root + "/hop/" + std::to_string(Hop + 1)));
    Fake.Answer(Host, "/hop/15", FakeAnswer::Text("arrived"));
    Fake.Answer(Host, "/hop/16", FakeAnswer::Text("arrived too far"));
    EXPECT_TRUE(Http.CallHttp(Root + "/hop/0", Stream));
    EXPECT_EQ(Stream, "arrived");
    Stream.clear(); // the second call meets the default at /hop/15 and would need a sixteenth
    EXPECT_THROW(Http.CallHttp(Root + "/hop/0", Stream), std::exception) << "sixteen redirects";
    EXPECT_EQ(Fake.Count(Host, "/hop/16"), 0);
    EXPECT_EQ(Stream, "");
}
