#include "DDKError.h"
#include "DDKStrings.h"
#include "FakeServices.h"
#include "HttpObject.h"
#include "TempFolder.h"

#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>
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

// The message of what Call raises, or "<none>".
static std::string ErrorOf(const std::function<void()>& Call)
{
    try {
        Call();
    } catch (const std::exception& Error) {
        return Error.what();
    }
    return "<none>";
}

TEST_F(HttpTest, AnswersAreBoundedAfterDecodingAndOnlyAnnouncedEncodingsAreDecoded)
{
    Http.AnswerLimit = 64 << 10;
    Http.PictureLimit = 256 << 10;
    const std::string Zeros(16 << 20, '\0');
    const std::string Limit = "larger than the limit of 65536 bytes";
    // Path, answer, what the stream gets ("" when nothing), part of the error.
    const std::tuple<std::string, FakeAnswer, std::string, std::string> Cases[] = {
        {"/exact", FakeAnswer::Text(std::string(64 << 10, 'a')), std::string(64 << 10, 'a'), ""},
        {"/announced", FakeAnswer::Text(std::string((64 << 10) + 1, 'a')), "", Limit},
        {"/endless", FakeAnswer::Endless(std::string(1 << 16, 'a')), "", Limit},
        {"/gzip-bomb", FakeAnswer::Text(Zeros, FakeAnswer::Gzip), "", Limit},
        {"/deflate-endless", FakeAnswer::Endless(std::string(1 << 20, '\0'), FakeAnswer::Deflate), "", Limit},
        {"/zstd-bomb", FakeAnswer::Text(Zeros, FakeAnswer::Zstd), "",
         "encoded in \"zstd\", which was not asked"},
        // A picture has a limit of its own.
        {"/poster.JPG", FakeAnswer::Text(std::string(100 << 10, 'p')), std::string(100 << 10, 'p'), ""},
        {"/backdrop.jpg", FakeAnswer::Endless(std::string(1 << 16, 'b')), "", "limit of 262144 bytes"},
    };
    for (const auto& [Path, Answer, Body, Part] : Cases) {
        SCOPED_TRACE(Path);
        Stream = "before";
        const std::string Error = ErrorOf([&] { Call(Path, {{Answer, 1}}); });
        EXPECT_NE(Error.find(Part.empty() ? "<none>" : Part), std::string::npos) << Error;
        EXPECT_EQ(Stream, "before" + Body);
        EXPECT_EQ(Fake.Count(Host, Path), 1);
    }

    // Announced, zstd is decoded, within the same limit.
    Http.AcceptEncoding = "gzip, deflate, zstd";
    Stream.clear();
    EXPECT_TRUE(Call("/zstd", {{FakeAnswer::Text("small", FakeAnswer::Zstd), 1}}));
    EXPECT_EQ(Stream, "small");
    EXPECT_NE(ErrorOf([&] {
                  Call("/zstd-bomb-2", {{FakeAnswer::Text(Zeros, FakeAnswer::Zstd), 1}});
              }).find(Limit),
              std::string::npos);
}

TEST_F(HttpTest, ReadTimeOutIsSilenceAndEveryRequestHasADeadline)
{
    using namespace std::chrono;
    Http.ReadTimeout = milliseconds(300);
    Http.AnswerDeadline = milliseconds(600);
    Http.PictureDeadline = milliseconds(1500);
    // Path, answer, body when it succeeds, part of the error otherwise. The
    // long trickles would end after three seconds.
    const std::tuple<std::string, FakeAnswer, std::string, std::string> Cases[] = {
        {"/silent", FakeAnswer::Slow(milliseconds(800)), "", "Nothing received for 300 ms"},
        {"/steady", FakeAnswer::Trickle("ab", milliseconds(120), 4), "abababab", ""},
        {"/trickle", FakeAnswer::Trickle("x", milliseconds(100), 30), "", "timed out after 6"},
        {"/picture.png", FakeAnswer::Trickle("x", milliseconds(100), 10), std::string(10, 'x'), ""},
        {"/picture.gif", FakeAnswer::Trickle("x", milliseconds(100), 30), "", "timed out after 15"},
    };
    for (const auto& [Path, Answer, Body, Part] : Cases) {
        SCOPED_TRACE(Path);
        Stream.clear();
        const auto Start = steady_clock::now();
        const std::string Error = ErrorOf([&] { Call(Path, {{Answer, 1}}); });
        EXPECT_NE(Error.find(Part.empty() ? "<none>" : Part), std::string::npos) << Error;
        EXPECT_EQ(Stream, Body);
        EXPECT_LT(steady_clock::now() - Start, milliseconds(2000));
    }
}

TEST_F(HttpTest, AStopRequestEndsARequestOrItsPauseWithinASecond)
{
    using namespace std::chrono;
    Http.RetryPause = minutes(1);
    const FakeAnswer Cases[] = {FakeAnswer::Trickle("abc", seconds(1)), FakeAnswer::Slow(minutes(1)),
                                FakeAnswer::Status(503)};
    std::atomic<bool> Stop = false;
    Http.Aborted = [&Stop] { return Stop.load(); };
    for (int Index = 0; const FakeAnswer& Answer : Cases) {
        const std::string Path = "/stop/" + std::to_string(Index++);
        SCOPED_TRACE(Path);
        Stop = false;
        steady_clock::time_point Stopped;
        std::jthread Stopper([&, Asked = Fake.Requests().size() + 1] {
            Fake.WaitForRequests(Asked);
            std::this_thread::sleep_for(milliseconds(300));
            Stopped = steady_clock::now();
            Stop = true;
        });
        const std::string Error = ErrorOf([&] { Call(Path, {{Answer, 1}}); });
        const auto Ended = steady_clock::now();
        Stopper.join();
        EXPECT_LT(Ended - Stopped, milliseconds(1000));
        EXPECT_NE(Error.find("] The transfer was stopped on request"), std::string::npos) << Error;
        EXPECT_EQ(Stream, "");
        EXPECT_EQ(Fake.Count(Host, Path), 1);
    }
    // Once stopped, nothing more is asked.
    EXPECT_THROW(Http.CallHttp(Root + "/after", Stream), EDDKError);
    EXPECT_EQ(Fake.Count(Host, "/after"), 0);
}

TEST_F(HttpTest, TheClientStaysUsableAfterAnyFailure)
{
    using namespace std::chrono;
    Http.AnswerLimit = 1000;
    Http.ReadTimeout = milliseconds(300);
    Fake.Default(Host, "/good", FakeAnswer::Text("good"));
    // First an allocation that fails while the answer arrives, then the
    // limit, the silence and a refused redirect.
    const auto Start = steady_clock::now();
    Http.Aborted = [Start] {
        if (steady_clock::now() - Start > milliseconds(100))
            throw std::bad_alloc();
        return false;
    };
    const FakeAnswer Failures[] = {FakeAnswer::Slow(milliseconds(400)), FakeAnswer::Endless("large"),
                                   FakeAnswer::Slow(seconds(2)), FakeAnswer::Redirect("http://127.0.0.1/")};
    for (int Index = 0; const FakeAnswer& Answer : Failures) {
        const std::string Path = "/failure/" + std::to_string(Index++);
        SCOPED_TRACE(Path);
        EXPECT_NE(ErrorOf([&] { Call(Path, {{Answer, 1}}); }), "<none>");
        Http.Aborted = nullptr;
        Stream.clear();
        EXPECT_TRUE(Http.CallHttp(Root + "/good", Stream));
        EXPECT_EQ(Stream, "good");
    }
}

TEST_F(HttpTest, AddressesOfThisComputerOrItsNetworkAreRefusedBeforeAnyConnection)
{
    const std::string Local[] = {
        "127.0.0.1",   "127.9.9.9", "2130706433", "0x7f.1",     "localhost",   "LocalHost.",
        "a.localhost", "0.0.0.0",   "10.1.2.3",   "172.16.0.9", "192.168.1.1", "169.254.169.254",
        "100.64.0.1",  "[::1]",     "[::]",       "[fe80::1]",  "[fd12::1]",   "[::ffff:192.168.0.1]"};
    for (int Index = 0; const std::string& Address : Local) {
        SCOPED_TRACE(Address);
        Fake.Default(DDKLowerCase(Address), "/page.jpg", FakeAnswer::Text("local page"));
        const std::string Redirect = "/redirect/" + std::to_string(Index++);
        for (const std::string& Url : {"http://" + Address + "/page.jpg", Root + Redirect}) {
            Fake.Answer(Host, Redirect, FakeAnswer::Redirect("http://" + Address + "/page.jpg"));
            Stream.clear();
            const std::string Error = ErrorOf([&] { Http.CallHttp(Url, Stream); });
            EXPECT_NE(Error.find("] Refused address \""), std::string::npos) << Url << ": " << Error;
            EXPECT_EQ(Stream, "");
        }
    }
    // Only the redirects were asked for, through the proxy.
    EXPECT_EQ(Fake.Requests().size(), std::size(Local));

    // Addresses beyond the local network still go through the proxy.
    for (const std::string Address : {"172.32.0.1", "[2001:db8::1]", "pictures.example.com"}) {
        Fake.Answer(Address, "/page.jpg", FakeAnswer::Text("picture"));
        Stream.clear();
        EXPECT_TRUE(Http.CallHttp("http://" + Address + "/page.jpg", Stream)) << Address;
    }
}

// A name of this computer, reached without a proxy: refused once resolved.
TEST_F(HttpTest, ANameThatResolvesToThisComputerIsRefusedWhenReachedDirectly)
{
    char Name[256] = "";
    addrinfo* Found = nullptr;
    ASSERT_EQ(gethostname(Name, sizeof Name - 1), 0);
    if (getaddrinfo(Name, nullptr, nullptr, &Found) != 0)
        GTEST_SKIP() << "this computer's name does not resolve";
    bool Loopback = true;
    for (const addrinfo* Item = Found; Item; Item = Item->ai_next)
        Loopback = Loopback && Item->ai_family == AF_INET &&
                   (ntohl(reinterpret_cast<const sockaddr_in*>(Item->ai_addr)->sin_addr.s_addr) >> 24) == 127;
    freeaddrinfo(Found);
    if (!Loopback)
        GTEST_SKIP() << "this computer's name resolves beyond the loopback network";

    Fake.Default(DDKLowerCase(Name), "/page", FakeAnswer::Text("local page"));
    EXPECT_TRUE(Http.CallHttp(std::string("http://") + Name + "/page", Stream)) << "through the proxy";
    const std::string Proxy = std::getenv("http_proxy");
    unsetenv("http_proxy");
    Stream.clear();
    const std::string Url = DDKFormat("http://%s:%d/page", Name, Fake.Port());
    const std::string Error = ErrorOf([&] { Http.CallHttp(Url, Stream); });
    setenv("http_proxy", Proxy.c_str(), 1);
    EXPECT_NE(Error.find("Refused address \""), std::string::npos) << Error;
    EXPECT_EQ(Fake.Requests().size(), 1u);
}
