#include "DDKConversion.h"
#include "DDKError.h"
#include "DDKStrings.h"
#include "FakeServices.h"
#include "HttpAddress.h"
#include "HttpObject.h"
#include "ServiceKeys.h"
#include "ServiceSettings.h"
#include "ServiceUrls.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <thread>

constexpr const char* Host = "api.example.com";

const std::string Root = std::string("http://") + Host;

using Script = std::vector<std::pair<FakeAnswer, int>>; // answer, times

// The message of what Call raises, "<true>" or "<false>".
static std::string Outcome(const std::function<bool()>& Call)
{
    try {
        return Call() ? "<true>" : "<false>";
    } catch (const std::exception& Error) {
        return Error.what();
    }
}

class HttpTest : public testing::Test
{
protected:
    HttpTest()
    {
        Http.RetryPause = std::chrono::milliseconds(1);
        Http.ReadTimeout = std::chrono::milliseconds(300);
        Http.AnswerDeadline = std::chrono::milliseconds(600);
        Http.PictureDeadline = std::chrono::milliseconds(1500);
        Http.AnswerLimit = 64 << 10;
        Http.PictureLimit = 256 << 10;
    }

    // Scripts Path with Answers and fetches it into Stream.
    std::string Call(const std::string& Path, const Script& Answers)
    {
        for (const auto& [Answer, Times] : Answers)
            Fake.Answer(Host, Path, Answer, Times);
        return Outcome([&] { return Http.CallHttp(Root + Path, Stream); });
    }

    FakeServices Fake;
    THttpObject Http;
    std::string Stream;
};

TEST_F(HttpTest, OnlyBusyAnswersAreRetriedAndEveryOtherFailureRaisesWithTheAddressAndLeavesTheStream)
{
    using namespace std::chrono;
    TempFolder Folder;
    const std::string Secret = Folder.Write("secret.txt", "local file");
    FakeAnswer BadGzip = FakeAnswer::Text("this is not gzip at all");
    BadGzip.Headers.emplace_back("Content-Encoding", "gzip");
    const std::string Zeros(16 << 20, '\0'), Big(64 << 10, 'a'), Picture(100 << 10, 'p');
    const std::string Limit = "larger than the limit of 65536 bytes";
    struct Case
    {
        std::string Path;
        Script Answers;
        std::string Outcome; // "<true>", "<false>" or part of the error
        std::string Body = "";
        int Requests = 1;
        std::string Before = "old";
    };
    using A = FakeAnswer;
    const auto Once = [](const FakeAnswer& Answer) { return Script{{Answer, 1}}; };
    const Case Cases[] = {
        {"/busy", {{A::Status(503), 5}, {A::Text("never"), 1}}, "<false>", "", 5},
        {"/busy-once", {{{.Code = 503, .Body = "busy"}, 1}, {A::Text("movie"), 1}}, "<true>", "movie", 2},
        {"/missing", Once({.Code = 404, .Body = "not here"}), "<false>"},
        {"/other-404", Once(A::Status(404, "Not found")), "404 Not found"}, // only the exact phrase
        {"/error", Once(A::Status(500)), "HTTP/1.1 500 Internal Server Error"},
        {"/empty-after", Once(A::Text("")), "<true>"}, // empty only counts when nothing came before
        {"/empty", Once(A::Text("")), "The stream returned by the API is empty", "", 1, ""},
        {"/dropped", {{A::Dropped(), 1}, {A::Text("late"), 1}}, "] "},
        {"/bad-gzip", Once(BadGzip), "] "},
        {"/file", Once(A::Redirect("file://" + Secret)), "] "}, // only web addresses, also redirected
        {"/gzip", Once(A::Text(Big, A::Gzip)), "<true>", Big},
        {"/deflate", Once(A::Text(Big, A::Deflate)), "<true>", Big},
        // Answers are bounded after decoding, and only announced encodings are decoded.
        {"/exact", Once(A::Text(Big)), "<true>", Big},
        {"/announced", Once(A::Text(Big + "a")), Limit},
        {"/endless", Once(A::Endless(Big)), Limit},
        {"/gzip-over", Once(A::Text(Big + "a", A::Gzip)), Limit}, // one byte over, once decoded
        {"/gzip-bomb", Once(A::Text(Zeros, A::Gzip)), Limit},
        {"/deflate-endless", Once(A::Endless(std::string(1 << 20, '\0'), A::Deflate)), Limit},
        {"/zstd-bomb", Once(A::Text(Zeros, A::Zstd)), "encoded in \"zstd\", which was not asked"},
        // A picture has a limit and a deadline of its own.
        {"/poster.JPG", Once(A::Text(Picture)), "<true>", Picture},
        {"/backdrop.jpg", Once(A::Endless(Big)), "limit of 262144 bytes"},
        // Silence ends a request, and so does its deadline: the long trickles would last three seconds.
        {"/silent", Once(A::Slow(milliseconds(800))), "Nothing received for 300 ms"},
        {"/steady", Once(A::Trickle("ab", milliseconds(120), 4)), "<true>", "abababab"},
        {"/trickle", Once(A::Trickle("x", milliseconds(100), 30)), "timed out after 6"},
        {"/picture.png", Once(A::Trickle("x", milliseconds(100), 10)), "<true>", std::string(10, 'x')},
        {"/picture.gif", Once(A::Trickle("x", milliseconds(100), 30)), "timed out after 15"},
    };
    for (const Case& Case : Cases) {
        SCOPED_TRACE(Case.Path);
        Stream = Case.Before;
        const auto Start = steady_clock::now();
        const std::string Result = Call(Case.Path, Case.Answers);
        EXPECT_LT(steady_clock::now() - Start, milliseconds(2000));
        if (Case.Outcome.starts_with("<"))
            EXPECT_EQ(Result, Case.Outcome);
        else
            EXPECT_TRUE(Result.starts_with("[CallHttp \"" + Root + Case.Path + "\"] ") &&
                        Result.find(Case.Outcome) != std::string::npos)
                << Result;
        EXPECT_EQ(Stream, Case.Before + Case.Body);
        EXPECT_EQ(Fake.Count(Host, Case.Path), Case.Requests);
        Stream.clear(); // whatever went wrong, the client stays usable
        EXPECT_EQ(Call("/good", Once(A::Text("good"))) + Stream, "<true>good");
    }
    EXPECT_THROW(Http.CallHttp("file://" + Secret, Stream), std::exception);

    // Announced, zstd is decoded, within the same limit.
    Http.AcceptEncoding = "gzip, deflate, zstd";
    Stream.clear();
    EXPECT_EQ(Call("/zstd", {{FakeAnswer::Text("small", FakeAnswer::Zstd), 1}}), "<true>");
    EXPECT_EQ(Stream, "small");
    EXPECT_NE(Call("/zstd-bomb-2", {{FakeAnswer::Text(Zeros, FakeAnswer::Zstd), 1}}).find(Limit),
              std::string::npos);
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

// Failures go to the log, which users share when they ask for help.
TEST_F(HttpTest, AFailingRequestsErrorTextCarriesNoKeyValue)
{
    const std::string Partner = AllocinePartner, Secret = AllocineSecret, Key = TmdbApiKey;
    // A signed address whose signature holds a '+', sent as "%2B".
    std::string Signed;
    for (int Number = 0; Signed.find("%2B") == std::string::npos; ++Number)
        Signed = GetAllocineUrl("search", "format=json&q=le+film+" + std::to_string(Number),
                                DDKEncodeDate(2024, 1, 1));
    const std::size_t SignatureAt = Signed.find("&sig=") + 5;
    const std::string Signature = Signed.substr(SignatureAt);
    Fake.Answer(AllocineApiHost, "/rest/v3/search", FakeAnswer::Status(500));
    EXPECT_EQ(Outcome([&] { return Http.CallHttp(Signed, Stream); }),
              "[CallHttp \"" + DDKReplaceAll(Signed.substr(0, SignatureAt), Partner, "…") +
                  "…\"] HTTP/1.1 500 Internal Server Error");
    // Redirected, with the key echoed by the server in its reason.
    Fake.Answer(Host, "/3/movie/5", FakeAnswer::Redirect(Root + "/3/moved?language=fr&API_KEY=" + Key));
    Fake.Answer(Host, "/3/moved", FakeAnswer::Status(403, "Forbidden /3/moved?language=fr&API_KEY=" + Key));
    EXPECT_EQ(
        Outcome([&] { return Http.CallHttp(Root + "/3/movie/5?api_key=" + Key + "&language=fr", Stream); }),
        "[CallHttp \"" + Root +
            "/3/movie/5?api_key=…&language=fr\"] HTTP/1.1 403 Forbidden "
            "/3/moved?language=fr&API_KEY=…");
    EXPECT_EQ(Fake.Count(Host, "/3/moved"), 1);

    // The values go wherever they stand and however they are spelt; the rest
    // of the text, file names included, stays as it is.
    const auto Encoded = [](const std::string& Value, const char* Digits) { // every other byte
        std::string Result;
        for (std::size_t At = 0; At < Value.size(); ++At)
            Result +=
                At % 2 ? std::string(1, Value[At]) : DDKFormat(Digits, static_cast<unsigned char>(Value[At]));
        return Result;
    };
    const std::string Plus = DDKReplaceAll(Signature, "%2B", "+");
    for (const auto& [Text, Hidden] : std::vector<std::pair<std::string, std::string>>{
             {"http://h/p?partner=" + Partner, "http://h/p?partner=…"},
             {"HTTP/1.1 403 Forbidden &PARTNER=" + Partner + "&sed=1",
              "HTTP/1.1 403 Forbidden &PARTNER=…&sed=1"},
             {"Internal error for partner=" + Partner + ".", "Internal error for partner=…."},
             {"/p%3Fpartner%3D" + Partner + "%26sed%3D1", "/p%3Fpartner%3D…%26sed%3D1"},
             {"?%70artner=" + Partner, "?%70artner=…"},
             {"partner: " + Partner, "partner: …"},
             {"{\"partner\":\"" + Partner + "\"}", "{\"partner\":\"…\"}"},
             {"Invalid API_KEY " + Key, "Invalid API_KEY …"},
             {"/3/search/movie%3Fapi%5Fkey%3D" + Key + "%26query", "/3/search/movie%3Fapi%5Fkey%3D…%26query"},
             {"Could not resolve host: " + Key + ".example.com", "Could not resolve host: ….example.com"},
             {"last read: '\"?partner=" + DDKLowerCase(Partner) + "<U+0001>'",
              "last read: '\"?partner=…<U+0001>'"},
             {"q=" + Encoded(Partner, "%%%02x") + "&k=" + Encoded(Key, "%%%02X") + Secret, "q=…&k=……"},
             {"sig=" + Signature + " sig=" + DDKReplaceAll(Signature, "%2B", "%2b") + " sig=" + Plus,
              "sig=… sig=… sig=…"},
             {Partner.substr(1) + " " + Key.substr(0, Key.size() - 1),
              Partner.substr(1) + " " + Key.substr(0, Key.size() - 1)},
             {"http://h/?design=1&signature=2&xsig=3&sig=&partner",
              "http://h/?design=1&signature=2&xsig=3&sig=&partner"},
             {"\"/films/film&sig=1.avi\" /OK #12 \"Film été 1999 & Co (sig=3) #12.avi\"",
              "\"/films/film&sig=1.avi\" /OK #12 \"Film été 1999 & Co (sig=3) #12.avi\""},
             {"100% %zz %4", "100% %zz %4"},
         })
        EXPECT_EQ(HideServiceKeys(Text), Hidden) << Text;

    // An empty or very short value hides nothing; of the values remembered
    // lately, the oldest go beyond the limit.
    TKeyMask Mask({"", "abc", "Secret1", "cret1X"}, 2);
    for (const char* Signature : {"signature1", "signature2", "signature3"})
        Mask.AddRecent(Signature);
    EXPECT_EQ(Mask.Hide("abc sECRET1x signature1 SIGNATURE2 %73ignature3"), "abc … signature1 … …");
}

TEST_F(HttpTest, AStopRequestEndsARequestOrItsPauseWithinASecond)
{
    using namespace std::chrono;
    Http.RetryPause = minutes(1);
    Http.ReadTimeout = Http.AnswerDeadline = minutes(2);
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
        const std::string Error = Call(Path, {{Answer, 1}});
        const auto Ended = steady_clock::now();
        Stopper.join();
        EXPECT_LT(Ended - Stopped, milliseconds(1000));
        EXPECT_NE(Error.find("] La requête a été arrêtée à la demande de l'utilisateur"), std::string::npos)
            << Error;
        EXPECT_EQ(Stream, "");
        EXPECT_EQ(Fake.Count(Host, Path), 1);
    }
    // Once stopped, nothing more is asked.
    EXPECT_THROW(Http.CallHttp(Root + "/after", Stream), EDDKError);
    EXPECT_EQ(Fake.Count(Host, "/after"), 0);
}

TEST_F(HttpTest, TheClientStaysUsableAfterAnAllocationFailsMidAnswer)
{
    using namespace std::chrono;
    const auto Start = steady_clock::now();
    Http.Aborted = [Start] {
        if (steady_clock::now() - Start > milliseconds(100))
            throw std::bad_alloc();
        return false;
    };
    EXPECT_EQ(Call("/failure", {{FakeAnswer::Slow(milliseconds(200)), 1}}),
              "[CallHttp \"" + Root + "/failure\"] std::bad_alloc");
    Http.Aborted = nullptr;
    EXPECT_EQ(Call("/good", {{FakeAnswer::Text("good"), 1}}) + Stream, "<true>good");
}

TEST_F(HttpTest, AddressesOfThisComputerOrItsNetworkAreRefusedBeforeAnyConnection)
{
    // Names of this computer, and each range by its first and last address.
    // clang-format off
    const std::string Local[] = {
        "localhost", "LocalHost.", "a.localhost", "127.0.0.1", "2130706433", "0x7f.1",
        "0.0.0.0",     "0.255.255.255",     "10.0.0.0",    "10.255.255.255",
        "100.64.0.0",  "100.127.255.255",   "127.0.0.0",   "127.255.255.255",
        "169.254.0.0", "169.254.255.255",   "172.16.0.0",  "172.31.255.255",
        "192.168.0.0", "192.168.255.255",   "[::1]",       "[::]",
        "[fc00::]", "[fdff:ffff:ffff:ffff:ffff:ffff:ffff:ffff]", // unique local
        "[fe80::]", "[febf:ffff:ffff:ffff:ffff:ffff:ffff:ffff]", // link-local
        "[fec0::]", "[feff:ffff:ffff:ffff:ffff:ffff:ffff:ffff]", // site-local
        "[::ffff:10.0.0.0]", "[::ffff:172.31.255.255]", "[::ffff:192.168.0.1]", "[::10.0.0.1]"};
    // clang-format on
    for (int Index = 0; const std::string& Address : Local) {
        SCOPED_TRACE(Address);
        Fake.Default(DDKLowerCase(Address), "/page.jpg", FakeAnswer::Text("local page"));
        const std::string Redirect = "/redirect/" + std::to_string(Index++);
        for (const std::string& Url : {"http://" + Address + "/page.jpg", Root + Redirect}) {
            Fake.Answer(Host, Redirect, FakeAnswer::Redirect("http://" + Address + "/page.jpg"));
            Stream.clear();
            const std::string Error = Outcome([&] { return Http.CallHttp(Url, Stream); });
            EXPECT_NE(Error.find("] Refused address \""), std::string::npos) << Url << ": " << Error;
            EXPECT_EQ(Stream, "");
        }
    }
    // Only the redirects were asked for, through the proxy.
    EXPECT_EQ(Fake.Requests().size(), std::size(Local));

    // Addresses beyond the local network, right beside it, still go through the proxy.
    // clang-format off
    const std::string Beyond[] = {
        "1.0.0.0", "9.255.255.255", "11.0.0.0", "100.63.255.255", "100.128.0.0", "126.255.255.255",
        "128.0.0.0", "169.253.255.255", "169.255.0.0", "172.15.255.255", "172.32.0.0",
        "192.167.255.255", "192.169.0.0", "[2001:db8::1]", "[fbff:ffff:ffff:ffff:ffff:ffff:ffff:ffff]",
        "[fe7f:ffff:ffff:ffff:ffff:ffff:ffff:ffff]", "[::ffff:172.15.255.255]", "[::ffff:172.32.0.0]",
        "pictures.example.com"};
    // clang-format on
    for (const std::string& Address : Beyond) {
        const std::size_t Asked = Fake.Requests().size();
        const std::string Result =
            Outcome([&] { return Http.CallHttp("http://" + Address + "/page.jpg", Stream); });
        EXPECT_EQ(Result.find("Refused address"), std::string::npos) << Address << ": " << Result;
        EXPECT_EQ(Fake.Requests().size(), Asked + 1) << Address;
    }
}

// A name that leads to this computer, reached without a proxy: refused once
// resolved, before any connection is made.
TEST_F(HttpTest, ANameThatResolvesToThisComputerIsRefusedWhenReachedDirectly)
{
    Fake.Default("films.example.net", "/page", FakeAnswer::Text("local page"));
    EXPECT_TRUE(Http.CallHttp("http://films.example.net/page", Stream)) << "through the proxy";
    const std::string Proxy = std::getenv("http_proxy");
    unsetenv("http_proxy");
    const char* Addresses[] = {"127.0.0.1", "127.0.1.1", "[::1]", "[::ffff:127.0.0.1]"};
    for (int Index = 0; const char* Address : Addresses) {
        // A name of its own for each address, so that no connection is shared.
        const std::string Name = DDKFormat("films%d.example.net", Index++);
        Http.Resolve = {DDKFormat("%s:%d:%s", Name.c_str(), Fake.Port(), Address)};
        Stream.clear();
        const std::string Error = Outcome(
            [&] { return Http.CallHttp(DDKFormat("http://%s:%d/page", Name.c_str(), Fake.Port()), Stream); });
        EXPECT_NE(Error.find("Refused address \"" + Name + "\""), std::string::npos)
            << Address << ": " << Error;
        EXPECT_EQ(Stream, "");
    }
    setenv("http_proxy", Proxy.c_str(), 1);
    EXPECT_EQ(Fake.Requests().size(), 1u);
}
