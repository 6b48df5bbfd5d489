// Scripted stand-ins for the web services, for tests: a real HTTP/1.1 server
// on 127.0.0.1 that answers as any host, and as badly as a test wants (slow,
// endless or trickling bodies, compression bombs, encodings never asked for). While a FakeServices object
// lives, http_proxy points libcurl at it (no_proxy cleared), so the program's own addresses
// ("http://api.allocine.fr/...") arrive here unchanged and are routed by host and path. Only one object may
// live at a time.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

// One answer the server gives.
struct FakeAnswer
{
    // Zstd is never asked for by the program: only a hostile server sends it.
    enum TEncoding { Identity, Gzip, Deflate, Zstd };

    int Code = 200;
    std::string Reason{}; // empty: the usual phrase of Code ("Not Found")
    std::string Body{};   // sent as it stands, or compressed by Encoding
    std::vector<std::pair<std::string, std::string>> Headers{};
    TEncoding Encoding = Identity;      // adds the Content-Encoding header
    std::chrono::milliseconds Delay{0}; // waited before anything is sent
    bool Drop = false;                  // close the connection without answering
    // After Body, Chunk is sent Repeat more times (without end when negative),
    // ChunkPause before each, in the same encoding; the body then has no
    // announced length and ends with the connection.
    std::string Chunk{};
    int Repeat = 0;
    std::chrono::milliseconds ChunkPause{0};
    // Run on the server's thread once the request has come and Delay has
    // passed, before anything is sent: what a test does here happens while
    // the program waits for this answer.
    std::function<void()> Meanwhile{};

    static FakeAnswer Text(std::string Body, TEncoding Encoding = Identity)
    {
        return {.Body = std::move(Body), .Encoding = Encoding};
    }
    // The bytes of a fixture file; throws when it cannot be read.
    static FakeAnswer File(const std::string& FileName, TEncoding Encoding = Identity);
    static FakeAnswer Status(int Code, std::string Reason = {}) { return {.Code = Code, .Reason = Reason}; }
    static FakeAnswer Redirect(std::string Location, int Code = 302)
    {
        return {.Code = Code, .Headers = {{"Location", std::move(Location)}}};
    }
    static FakeAnswer Dropped() { return {.Drop = true}; }
    static FakeAnswer Slow(std::chrono::milliseconds Delay, std::string Body = "late")
    {
        return {.Body = std::move(Body), .Delay = Delay};
    }
    // A body without end, until the client gives up.
    static FakeAnswer Endless(std::string Chunk, TEncoding Encoding = Identity)
    {
        return {.Encoding = Encoding, .Chunk = std::move(Chunk), .Repeat = -1};
    }
    // Chunk every Pause, Times times (without end when negative).
    static FakeAnswer Trickle(std::string Chunk, std::chrono::milliseconds Pause, int Times = -1)
    {
        return {.Chunk = std::move(Chunk), .Repeat = Times, .ChunkPause = Pause};
    }
};

// One request as received (path and query still percent-encoded).
struct FakeRequest
{
    std::string Method;
    std::string Host; // lower case, without port
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

    // The server's port on 127.0.0.1, for a test that reaches it without the
    // proxy; such requests are routed by their Host header.
    int Port() const { return FPort; }

    // Queues Times copies of Answer for Host + Path, given one per request in
    // order. Path may end in '*' to match every path that starts with the
    // rest. QueryPart, when not empty, must occur in the request's query; such
    // routes are tried before those without one.
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

private:
    struct TRoute
    {
        std::string Host, Path, QueryPart;
        std::deque<FakeAnswer> Queue;
        std::optional<FakeAnswer> Fallback;
    };

    TRoute& RouteFor(std::string_view Host, std::string_view Path, std::string_view QueryPart);
    FakeAnswer Choose(const FakeRequest& Request);
    bool Matches(const TRoute& Route, const FakeRequest& Request, bool WithQuery) const;
    void AcceptLoop();
    void Serve(int Socket);
    void StopKeepingAlive(); // with FMutex held

    int FListener = -1;
    int FPort = 0;
    std::atomic<bool> FStopping = false; // set under FMutex, for the waits on FChanged
    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    std::vector<TRoute> FRoutes;
    // Where the routes are, so a request does not scan them all: host, path
    // and query part -> route; host and exact path -> its routes in order;
    // the routes whose path ends in '*', in order.
    std::unordered_map<std::string, std::size_t> FRouteIndex;
    std::unordered_map<std::string, std::vector<std::size_t>> FExactRoutes;
    std::vector<std::size_t> FPrefixRoutes;
    // A client takes a reused connection closed without an answer for one
    // that timed out and asks again: once a test scripts a dropped
    // connection, every connection serves one request, and those kept open
    // waiting for another are closed at once.
    bool FKeepAlive = true;
    std::vector<int> FIdleSockets;
    std::vector<FakeRequest> FRequests;
    std::vector<std::future<void>> FConnections; // touched by the accept thread only
    std::thread FAcceptThread;
    std::vector<std::pair<std::string, std::optional<std::string>>> FSavedVariables;
};
