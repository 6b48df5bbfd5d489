#include "HttpObject.h"

#include "DDKError.h"
#include "DDKStrings.h"

#include <curl/curl.h>

#include <algorithm>
#include <thread>

// Built before main runs, which also makes libcurl's one-time global set-up
// happen before any thread can create its own client.
THttpObject HttpObject;

namespace {

// What one transfer gathers: the body, kept apart from the caller's stream so
// that an error answer never reaches it, and the last status line (a redirect
// starts a new answer, and with it a new status line).
struct TTransfer
{
    std::string Body;
    std::string StatusLine;
};

size_t WriteBody(char* Data, size_t Size, size_t Count, void* UserData)
{
    static_cast<TTransfer*>(UserData)->Body.append(Data, Size * Count);
    return Size * Count;
}

size_t ReadHeader(char* Data, size_t Size, size_t Count, void* UserData)
{
    std::string_view Line(Data, Size * Count);
    if (Line.starts_with("HTTP/")) {
        auto& Transfer = *static_cast<TTransfer*>(UserData);
        Transfer.StatusLine = DDKTrim(Line);
        Transfer.Body.clear();
    }
    return Size * Count;
}

} // namespace

THttpObject::THttpObject() : FHttp(curl_easy_init())
{
    if (!FHttp)
        throw EDDKError("[THttpObject] the HTTP client cannot be created");
    // An empty cookie file turns the cookie engine on without reading any file.
    curl_easy_setopt(FHttp, CURLOPT_COOKIEFILE, "");
    // Addresses come from the services' answers too (posters, redirects): they
    // must never make the client read a local file or speak another protocol.
    curl_easy_setopt(FHttp, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(FHttp, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // HTTP/2 answers carry no reason phrase, so a 404 or 503 reached through a
    // redirect to https would not read as "404 Not Found" or "503 Service
    // Unavailable" and would no longer be a quiet failure or a retry.
    curl_easy_setopt(FHttp, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
}

THttpObject::~THttpObject()
{
    curl_easy_cleanup(FHttp);
}

void THttpObject::Get(const std::string& Url, std::string& Stream)
{
    CURL* Http = FHttp;
    TTransfer Transfer;
    char ErrorText[CURL_ERROR_SIZE] = "";

    curl_easy_setopt(Http, CURLOPT_URL, Url.c_str());
    curl_easy_setopt(Http, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(Http, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(Http, CURLOPT_USERAGENT, UserAgent.c_str());
    curl_easy_setopt(Http, CURLOPT_ACCEPT_ENCODING, AcceptEncoding.c_str());
    curl_easy_setopt(Http, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(Http, CURLOPT_MAXREDIRS, MaxRedirects);
    curl_easy_setopt(Http, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(ConnectTimeout.count()));
    // libcurl has no per-read time-out; a transfer that receives nothing for
    // the whole period counts as one.
    const long ReadSeconds = std::max<long>(1, static_cast<long>((ReadTimeout.count() + 999) / 1000));
    curl_easy_setopt(Http, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(Http, CURLOPT_LOW_SPEED_TIME, ReadSeconds);
    curl_easy_setopt(Http, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(Http, CURLOPT_WRITEDATA, &Transfer);
    curl_easy_setopt(Http, CURLOPT_HEADERFUNCTION, ReadHeader);
    curl_easy_setopt(Http, CURLOPT_HEADERDATA, &Transfer);
    curl_easy_setopt(Http, CURLOPT_ERRORBUFFER, ErrorText);

    const CURLcode Code = curl_easy_perform(Http);
    // The buffers above die with this call; leave no pointer to them behind.
    curl_easy_setopt(Http, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(Http, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(Http, CURLOPT_HEADERDATA, nullptr);

    if (Code != CURLE_OK)
        throw EDDKError(ErrorText[0] ? ErrorText : curl_easy_strerror(Code));
    long Status = 0;
    curl_easy_getinfo(Http, CURLINFO_RESPONSE_CODE, &Status);
    if (Status < 200 || Status > 299)
        throw EDDKError(Transfer.StatusLine.empty() ? DDKFormat("HTTP status %ld", Status)
                                                    : Transfer.StatusLine);
    Stream += Transfer.Body;
}

bool THttpObject::CallHttp(const std::string& Url, std::string& Stream)
{
    return DDKTagged(DDKFormat("[CallHttp \"%s\"] ", Url.c_str()), [&] {
        int Tries = 0;
        while (Tries < 5) {
            try {
                Get(Url, Stream);
                if (Stream.empty())
                    throw EDDKError("The stream returned by the API is empty");
                return true;
            } catch (const std::exception& Error) {
                const std::string_view Text = Error.what();
                if (Text.find("404 Not Found") != std::string_view::npos)
                    return false;
                if (Text.find("503 Service Unavailable") == std::string_view::npos)
                    throw;
                ++Tries;
                std::this_thread::sleep_for(RetryPause);
            }
        }
        return false;
    });
}
