// The one way the program reaches the web: an HTTP GET of a whole body into
// memory, with the retry rule for a busy server and a quiet failure for a
// missing resource.
//
// Addresses also come from the services' answers (posters, backdrops,
// thumbnails, redirects), so a request is bounded whatever the server does:
// its decoded body by a limit, its time by a read time-out and an overall
// deadline, its destination by the refusal of this computer and its local
// network, and its owner can stop it at any moment.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class THttpObject
{
public:
    // Creates the client handle; cookies are kept in memory for the object's life.
    THttpObject();
    ~THttpObject();
    THttpObject(const THttpObject&) = delete;
    THttpObject& operator=(const THttpObject&) = delete;

    // GETs Url and appends the decoded body to Stream (never cleared here).
    // True when the server answered with a body (Stream as a whole not empty);
    // false on "404 Not Found", or when five tries all met "503 Service
    // Unavailable" (each followed by RetryPause). Any other failure raises
    // "[CallHttp \"<Url>\"] <reason>", the values of the keys in it hidden
    // (HideServiceKeys); the reason of an error status holds the server's
    // status line. A failed request adds nothing to Stream and leaves the
    // object ready for the next one.
    bool CallHttp(const std::string& Url, std::string& Stream);
    // Whether the last CallHttp returned false for "404 Not Found" rather
    // than for a service that stayed unavailable.
    bool NotFound() const { return FNotFound; }

    // Settings applied to every request; tests shorten the waits and limits.
    std::chrono::milliseconds ConnectTimeout{10000};
    // A request fails when no byte at all has arrived for this long.
    std::chrono::milliseconds ReadTimeout{60000};
    // The longest one request may take, redirects included, however steadily
    // its bytes arrive. A picture is an address whose path ends in a picture's
    // extension (".jpg", ".png"...): it may be a large backdrop.
    std::chrono::milliseconds AnswerDeadline{std::chrono::minutes(3)};
    std::chrono::milliseconds PictureDeadline{std::chrono::minutes(10)};
    // The largest decoded body accepted; a larger one fails the request.
    std::size_t AnswerLimit = std::size_t(8) << 20;
    std::size_t PictureLimit = std::size_t(32) << 20;
    long MaxRedirects = 15;
    std::string UserAgent = "Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.2; Trident/6.0; MSAppHost/1.0)";
    // Announced, and the only encodings decoded: an answer in any other fails.
    std::string AcceptEncoding = "gzip, deflate";
    // Names given their address before the system is asked, each as
    // "name:port:address" ("[::1]" for an IPv6 one); tests lead a name to
    // the address they choose. Empty: the system resolves every name.
    std::vector<std::string> Resolve;
    // Pause after each "503 Service Unavailable" answer.
    std::chrono::milliseconds RetryPause{10000};
    // Asked several times a second while a request runs or pauses; true ends
    // it at once with an error. A worker ties it to its stop request.
    std::function<bool()> Aborted;

private:
    // One GET; appends the body to Stream on success, raises otherwise.
    void Get(const std::string& Url, std::string& Stream);
    // RetryPause, cut short by a stop request.
    void PauseBeforeRetry();

    void* FHttp;  // libcurl easy handle, owned; used by one thread only
    void* FMulti; // libcurl multi handle that runs it, owned
    bool FNotFound = false;
};

// The main thread's client, used at start-up; every worker makes its own.
extern THttpObject HttpObject;
