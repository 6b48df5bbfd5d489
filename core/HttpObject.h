// The one way the program reaches the web: an HTTP GET of a whole body into
// memory, with the retry rule for a busy server and a quiet failure for a
// missing resource.
#pragma once

#include <chrono>
#include <string>

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
    // "[CallHttp \"<Url>\"] <reason>"; the reason of an error status holds the
    // server's status line.
    bool CallHttp(const std::string& Url, std::string& Stream);

    // Settings applied to every request; tests shorten the waits.
    std::chrono::milliseconds ConnectTimeout{10000};
    // A request fails when no byte arrives for this long (whole seconds, at least one).
    std::chrono::milliseconds ReadTimeout{60000};
    long MaxRedirects = 15;
    std::string UserAgent = "Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.2; Trident/6.0; MSAppHost/1.0)";
    // Announced and decoded transparently.
    std::string AcceptEncoding = "gzip, deflate";
    // Pause after each "503 Service Unavailable" answer.
    std::chrono::milliseconds RetryPause{10000};

private:
    // One GET; appends the body to Stream on success, raises otherwise.
    void Get(const std::string& Url, std::string& Stream);

    void* FHttp; // libcurl easy handle, owned; used by one thread only
};

// The main thread's client, used at start-up; every worker makes its own.
extern THttpObject HttpObject;
