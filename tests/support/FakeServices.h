// Scripted stand-ins for the web services, for tests: a real HTTP/1.1 server
// on 127.0.0.1 that answers as any host. While a FakeServices object lives,
// the http_proxy variable points libcurl at it (no_proxy cleared), so the
// program's own addresses ("http://api.allocine.fr/...") arrive here unchanged
// and are routed by host and path. Only one object may live at a time.
//
//     FakeServices Fake;
//     Fake.Answer(TmdbApiHost, "/3/configuration", FakeAnswer::File(VANTRY_TEST_DATA "/x.json"));
//     Fake.Answer(AllocineApiHost, "/rest/v3/search", FakeAnswer::Status(503), 5);
//     ...
//     EXPECT_EQ(Fake.Count(AllocineApiHost, "/rest/v3/search"), 5);
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

// One answer the server gives.
struct FakeAnswer
{
    enum TEncoding { Identity, Gzip, Deflate };

    int Code = 200;
    std::string Reason; // empty: the usual phrase of Code ("Not Found")
    std::string Body;   // sent as it stands, or compressed by Encoding
    std::vector<std::pair<std::string, std::string>> Headers;
    TEncoding Encoding = Identity;      // adds the Content-Encoding header
    std::chrono::milliseconds Delay{0}; // waited before anything is sent
    bool Drop = false;                  // close the connection without answering

    static FakeAnswer Text(std::string Body, TEncoding Encoding = Identity);
    // The bytes of a fixture file; throws when it cannot be read.
    static FakeAnswer File(const std::string& FileName, TEncoding Encoding = Identity);
    static FakeAnswer Status(int Code, std::string Reason = {});
    static FakeAnswer Redirect(std::string Location, int Code = 302);
    static FakeAnswer Dropped();
    static FakeAnswer Slow(std::chrono::milliseconds Delay, std::string Body = "late");
};

// One request as received (path and query still percent-encoded).
struct FakeRequest
{
    std::string Method;
    std::string Host; // without port
    std::string Path;
    std::string Query; // after '?', empty when none
    std::vector<std::pair<std::string, std::string>> Headers;

    // Value of the header Name (case ignored), empty when absent.
    std::string Header(std::string_view Name) const;
};

class FakeServices
{
public:
    FakeServices();  // listening and routed through http_proxy on return
    ~FakeServices(); // stops the server, restores the proxy variables
    FakeServices(const FakeServices&) = delete;
    FakeServices& operator=(const FakeServices&) = delete;

    // Queues Times copies of Answer for Host + Path; queued answers are given
    // one per request, in order. Path may end in '*' to match every path that
    // starts with the rest. QueryPart, when not empty, must occur in the
    // request's query; such routes are tried before those without one.
    void Answer(std::string_view Host, std::string_view Path, FakeAnswer Answer, int Times = 1,
                std::string_view QueryPart = {});
    // The answer for Host + Path once its queue is used up (otherwise 404).
    void Default(std::string_view Host, std::string_view Path, FakeAnswer Answer,
                 std::string_view QueryPart = {});

    // Every request received so far, in order of arrival.
    std::vector<FakeRequest> Requests() const;
    // Requests received for Host + Path (exact path).
    int Count(std::string_view Host, std::string_view Path) const;
    // Waits until Count requests in all have arrived or Timeout has passed;
    // true when they have. For tests whose requests come from another thread.
    bool WaitForRequests(std::size_t Count, std::chrono::milliseconds Timeout = std::chrono::seconds(20));

    int Port() const { return FPort; }
    // "http://127.0.0.1:<port>", as put into http_proxy.
    std::string ProxyUrl() const;

private:
    struct TConnection
    {
        std::thread Thread;
        bool Done = false; // set under FMutex as the thread's last act
    };
    struct TRoute
    {
        std::string Host, Path, QueryPart;
        std::deque<FakeAnswer> Queue;
        std::optional<FakeAnswer> Fallback;
    };

    TRoute& RouteFor(std::string_view Host, std::string_view Path, std::string_view QueryPart);
    FakeAnswer Choose(const FakeRequest& Request);
    void AcceptLoop();
    void Serve(int Socket, TConnection& Connection);
    // Waits Delay unless the server stops first; false when stopping.
    bool Pause(std::chrono::milliseconds Delay);

    int FListener = -1;
    int FPort = 0;
    bool FStopping = false;
    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    std::vector<TRoute> FRoutes;
    std::vector<FakeRequest> FRequests;
    std::list<TConnection> FConnections;
    std::thread FAcceptThread;
    std::vector<std::pair<std::string, std::optional<std::string>>> FSavedVariables;
};
