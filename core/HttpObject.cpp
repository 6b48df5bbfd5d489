#include "HttpObject.h"

#include "DDKError.h"
#include "DDKStrings.h"
#include "HttpAddress.h"
#include "ServiceKeys.h"

#include <curl/curl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <thread>
#include <vector>

// Built before main runs, which also makes libcurl's one-time global set-up
// happen before any thread can create its own client.
THttpObject HttpObject;

namespace {

using TClock = std::chrono::steady_clock;

// How often a running request looks at its stop request and its read
// time-out; a stop is answered within this time.
constexpr std::chrono::milliseconds WatchInterval{100};

const char* const StoppedText = "La requête a été arrêtée à la demande de l'utilisateur";

std::string TooLargeText(std::size_t Limit)
{
    return DDKFormat("The answer is larger than the limit of %zu bytes", Limit);
}

std::string RefusedText(const std::string& Host)
{
    return DDKFormat("Refused address \"%s\": it leads to this computer or its local network", Host.c_str());
}

// The names in a header's comma-separated list, lower case, parameters dropped.
std::vector<std::string> HeaderTokens(std::string_view List)
{
    std::vector<std::string> Tokens;
    for (std::size_t Start = 0; Start <= List.size();) {
        const std::size_t End = std::min(List.find(',', Start), List.size());
        const std::string_view Item = List.substr(Start, End - Start);
        if (std::string Token = DDKLowerCase(DDKTrim(Item.substr(0, Item.find(';')))); !Token.empty())
            Tokens.push_back(Token == "x-gzip" ? "gzip" : Token);
        Start = End + 1;
    }
    return Tokens;
}

// --- One transfer ------------------------------------------------------------

// What one transfer gathers and why it may have been ended early. Its
// callbacks never let an exception through libcurl: one that did would leave
// the handle inside its multi handle and break every later request.
struct TTransfer
{
    CURL* Http;
    std::string& Stream;
    const std::size_t Start; // the size of Stream before this request
    const std::size_t Limit;
    const std::chrono::milliseconds ReadTimeout;
    const std::function<bool()>& Aborted;
    std::vector<std::string> Encodings; // announced, lower case

    std::string StatusLine{}; // of the current answer: a redirect starts a new one
    long Status = 0;
    std::string Unannounced{};  // an encoding of the current answer that was not asked for
    std::size_t Received = 0;   // decoded body bytes of the current answer
    curl_off_t RawReceived = 0; // body bytes as they came off the wire, all answers
    TClock::time_point LastByte = TClock::now();
    bool ErrorStatus = false;   // the answer's status fails the request; its body is not read
    std::string Failure{};      // why a callback ended the transfer
    std::string Refusal{};      // a local destination met on the way
    std::exception_ptr Error{}; // what a callback could not do (memory, the stop test)

    // The address now asked for (after any redirect) must not name this
    // computer or its network, nor may the address that a name gave, unless
    // that is the proxy's.
    bool Refuses(const sockaddr* Connection)
    {
        char* Current = nullptr;
        curl_easy_getinfo(Http, CURLINFO_EFFECTIVE_URL, &Current);
        const std::optional<THttpAddress> Address = ParseHttpAddress(Current ? Current : "");
        const std::string Host = Address ? Address->Host : std::string();
        if (IsLocalHost(Host) || (Connection && IsLocalSocketAddress(*Connection) &&
                                  !IsProxyAddress(*Connection, Address ? Address->Scheme : "http"))) {
            Refusal = RefusedText(Host);
            return true;
        }
        return false;
    }
};

size_t ReadHeader(char* Data, size_t Size, size_t Count, void* UserData)
{
    auto& Transfer = *static_cast<TTransfer*>(UserData);
    const size_t Length = Size * Count;
    try {
        Transfer.LastByte = TClock::now();
        const std::string_view Line(Data, Length);
        if (Line.starts_with("HTTP/")) {
            Transfer.StatusLine = DDKTrim(Line);
            const size_t Blank = Transfer.StatusLine.find(' ');
            Transfer.Status = Blank == std::string::npos
                                  ? 0
                                  : std::strtol(Transfer.StatusLine.c_str() + Blank, nullptr, 10);
            Transfer.Unannounced.clear();
            Transfer.Received = 0;
            Transfer.Stream.resize(Transfer.Start);
        } else if (DDKStartsText("Content-Encoding:", Line)) {
            for (const std::string& Encoding : HeaderTokens(Line.substr(17)))
                if (Encoding != "identity" && Transfer.Unannounced.empty() &&
                    std::ranges::find(Transfer.Encodings, Encoding) == Transfer.Encodings.end())
                    Transfer.Unannounced = Encoding;
        } else if (DDKTrim(Line).empty()) {
            // The head is complete. An error status says all that is needed;
            // only a body that will be kept must be in an encoding we asked for.
            if (Transfer.Status >= 400) {
                Transfer.ErrorStatus = true;
                return 0;
            }
            if (Transfer.Status >= 200 && Transfer.Status < 300 && !Transfer.Unannounced.empty()) {
                Transfer.Failure = DDKFormat("The answer is encoded in \"%s\", which was not asked for",
                                             Transfer.Unannounced.c_str());
                return 0;
            }
        }
        return Length;
    } catch (...) {
        Transfer.Error = std::current_exception();
        return 0;
    }
}

// Bytes arrive here decoded, a piece at a time, so the limit holds however
// much a small compressed answer would grow.
size_t WriteBody(char* Data, size_t Size, size_t Count, void* UserData)
{
    auto& Transfer = *static_cast<TTransfer*>(UserData);
    const size_t Length = Size * Count;
    try {
        Transfer.LastByte = TClock::now();
        Transfer.Received += Length;
        if (Transfer.Received > Transfer.Limit) {
            Transfer.Failure = TooLargeText(Transfer.Limit);
            return 0;
        }
        // The body of a redirect is not the answer.
        if (Transfer.Status >= 200 && Transfer.Status < 300)
            Transfer.Stream.append(Data, Length);
        return Length;
    } catch (...) {
        Transfer.Error = std::current_exception();
        return 0;
    }
}

// libcurl's own low-speed check measures an average rate over seconds, so a
// slow but steady answer would fail and a trickle of a few bytes a second
// would not: the read time-out is the silence since the last byte instead.
int Watch(void* UserData, curl_off_t, curl_off_t Downloaded, curl_off_t, curl_off_t)
{
    auto& Transfer = *static_cast<TTransfer*>(UserData);
    try {
        if (Transfer.Aborted && Transfer.Aborted()) {
            Transfer.Failure = StoppedText;
            return 1;
        }
        const TClock::time_point Now = TClock::now();
        if (Downloaded != Transfer.RawReceived) {
            Transfer.RawReceived = Downloaded;
            Transfer.LastByte = Now;
        }
        if (Now - Transfer.LastByte >= Transfer.ReadTimeout) {
            Transfer.Failure = DDKFormat("Nothing received for %lld ms",
                                         static_cast<long long>(Transfer.ReadTimeout.count()));
            return 1;
        }
        return 0;
    } catch (...) {
        Transfer.Error = std::current_exception();
        return 1;
    }
}

curl_socket_t OpenSocket(void* UserData, curlsocktype Purpose, curl_sockaddr* Address)
{
    auto& Transfer = *static_cast<TTransfer*>(UserData);
    try {
        if (Purpose == CURLSOCKTYPE_IPCXN && Transfer.Refuses(&Address->addr))
            return CURL_SOCKET_BAD;
        return socket(Address->family, Address->socktype | SOCK_CLOEXEC, Address->protocol);
    } catch (...) {
        Transfer.Error = std::current_exception();
        return CURL_SOCKET_BAD;
    }
}

// Also runs on a kept connection, where no socket is opened: a redirect sent
// through a proxy reuses the connection to it.
int BeforeRequest(void* UserData, char*, char*, int, int)
{
    auto& Transfer = *static_cast<TTransfer*>(UserData);
    try {
        return Transfer.Refuses(nullptr) ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
    } catch (...) {
        Transfer.Error = std::current_exception();
        return CURL_PREREQFUNC_ABORT;
    }
}

// Runs the transfer on the multi handle, so that the watch above is called
// at least every WatchInterval even while nothing arrives.
CURLcode Run(CURLM* Multi, CURL* Http)
{
    if (const CURLMcode Code = curl_multi_add_handle(Multi, Http); Code != CURLM_OK)
        throw EDDKError(curl_multi_strerror(Code));
    // Whatever happens, the handle leaves the multi handle: the next request needs it free.
    struct TDetach
    {
        CURLM* Multi;
        CURL* Http;
        ~TDetach() { curl_multi_remove_handle(Multi, Http); }
    } Detach{Multi, Http};
    for (int Running = 1; Running;) {
        CURLMcode Code = curl_multi_perform(Multi, &Running);
        if (Code == CURLM_OK && Running)
            Code = curl_multi_poll(Multi, nullptr, 0, static_cast<int>(WatchInterval.count()), nullptr);
        if (Code != CURLM_OK)
            throw EDDKError(curl_multi_strerror(Code));
    }
    int Left = 0;
    while (const CURLMsg* Message = curl_multi_info_read(Multi, &Left))
        if (Message->msg == CURLMSG_DONE && Message->easy_handle == Http)
            return Message->data.result;
    return CURLE_FAILED_INIT;
}

} // namespace

THttpObject::THttpObject() : FHttp(curl_easy_init()), FMulti(curl_multi_init())
{
    if (!FHttp || !FMulti) {
        curl_easy_cleanup(FHttp);
        curl_multi_cleanup(FMulti);
        throw EDDKError("[THttpObject] the HTTP client cannot be created");
    }
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
    curl_multi_cleanup(FMulti);
}

void THttpObject::Get(const std::string& Url, std::string& Stream)
{
    if (Aborted && Aborted())
        throw EDDKError(StoppedText);
    // A local destination is refused before any connection, proxy or not.
    const std::optional<THttpAddress> Address = ParseHttpAddress(Url.c_str());
    if (Address && IsLocalHost(Address->Host))
        throw EDDKError(RefusedText(Address->Host));
    const bool Picture = Address && IsPicturePath(Address->Path);

    // Appending keeps the list's head; only the first entry makes one.
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> Resolved(nullptr, curl_slist_free_all);
    for (const std::string& Entry : Resolve) {
        curl_slist* Head = curl_slist_append(Resolved.get(), Entry.c_str());
        if (!Head)
            throw std::bad_alloc();
        if (!Resolved)
            Resolved.reset(Head);
    }

    CURL* Http = FHttp;
    TTransfer Transfer{.Http = Http,
                       .Stream = Stream,
                       .Start = Stream.size(),
                       .Limit = Picture ? PictureLimit : AnswerLimit,
                       .ReadTimeout = ReadTimeout,
                       .Aborted = Aborted,
                       .Encodings = HeaderTokens(AcceptEncoding)};
    char ErrorText[CURL_ERROR_SIZE] = "";
    const std::chrono::milliseconds Deadline = Picture ? PictureDeadline : AnswerDeadline;

    curl_easy_setopt(Http, CURLOPT_URL, Url.c_str());
    curl_easy_setopt(Http, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(Http, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(Http, CURLOPT_USERAGENT, UserAgent.c_str());
    // An empty setting would announce every encoding libcurl knows.
    curl_easy_setopt(Http, CURLOPT_ACCEPT_ENCODING,
                     AcceptEncoding.empty() ? nullptr : AcceptEncoding.c_str());
    curl_easy_setopt(Http, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(Http, CURLOPT_MAXREDIRS, MaxRedirects);
    curl_easy_setopt(Http, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(ConnectTimeout.count()));
    curl_easy_setopt(Http, CURLOPT_TIMEOUT_MS, static_cast<long>(Deadline.count()));
    // An answer that announces its excess is refused before its body comes.
    curl_easy_setopt(Http, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(Transfer.Limit));
    curl_easy_setopt(Http, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(Http, CURLOPT_WRITEDATA, &Transfer);
    curl_easy_setopt(Http, CURLOPT_HEADERFUNCTION, ReadHeader);
    curl_easy_setopt(Http, CURLOPT_HEADERDATA, &Transfer);
    curl_easy_setopt(Http, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(Http, CURLOPT_XFERINFOFUNCTION, Watch);
    curl_easy_setopt(Http, CURLOPT_XFERINFODATA, &Transfer);
    curl_easy_setopt(Http, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
    curl_easy_setopt(Http, CURLOPT_OPENSOCKETDATA, &Transfer);
    curl_easy_setopt(Http, CURLOPT_PREREQFUNCTION, BeforeRequest);
    curl_easy_setopt(Http, CURLOPT_PREREQDATA, &Transfer);
    curl_easy_setopt(Http, CURLOPT_ERRORBUFFER, ErrorText);
    curl_easy_setopt(Http, CURLOPT_RESOLVE, Resolved.get());

    CURLcode Code = CURLE_FAILED_INIT;
    try {
        Code = Run(static_cast<CURLM*>(FMulti), Http);
    } catch (...) {
        Transfer.Error = std::current_exception();
    }
    // The data above die with this call; leave no pointer to them behind.
    for (const CURLoption Option :
         {CURLOPT_ERRORBUFFER, CURLOPT_WRITEDATA, CURLOPT_HEADERDATA, CURLOPT_XFERINFODATA,
          CURLOPT_OPENSOCKETDATA, CURLOPT_PREREQDATA, CURLOPT_RESOLVE})
        curl_easy_setopt(Http, Option, nullptr);

    if (Code == CURLE_OK && Transfer.Status >= 200 && Transfer.Status < 300)
        return;
    // Nothing of a failed request stays in the caller's stream.
    Stream.resize(Transfer.Start);
    if (Transfer.Error)
        std::rethrow_exception(Transfer.Error);
    if (Code == CURLE_OK || Transfer.ErrorStatus)
        throw EDDKError(Transfer.StatusLine.empty() ? DDKFormat("HTTP status %ld", Transfer.Status)
                                                    : Transfer.StatusLine);
    if (!Transfer.Failure.empty())
        throw EDDKError(Transfer.Failure);
    if (!Transfer.Refusal.empty())
        throw EDDKError(Transfer.Refusal);
    if (Code == CURLE_FILESIZE_EXCEEDED)
        throw EDDKError(TooLargeText(Transfer.Limit));
    throw EDDKError(ErrorText[0] ? ErrorText : curl_easy_strerror(Code));
}

void THttpObject::PauseBeforeRetry()
{
    const TClock::time_point End = TClock::now() + RetryPause;
    for (TClock::time_point Now = TClock::now(); Now < End; Now = TClock::now()) {
        if (Aborted && Aborted())
            throw EDDKError(StoppedText);
        std::this_thread::sleep_for(std::min<TClock::duration>(WatchInterval, End - Now));
    }
}

bool THttpObject::CallHttp(const std::string& Url, std::string& Stream)
{
    try {
        FNotFound = false;
        int Tries = 0;
        while (Tries < 5) {
            try {
                Get(Url, Stream);
                if (Stream.empty())
                    throw EDDKError("The stream returned by the API is empty");
                return true;
            } catch (const std::exception& Error) {
                const std::string_view Text = Error.what();
                if (Text.find("404 Not Found") != std::string_view::npos) {
                    FNotFound = true;
                    return false;
                }
                if (Text.find("503 Service Unavailable") == std::string_view::npos)
                    throw;
                ++Tries;
                PauseBeforeRetry();
            }
        }
        return false;
    } catch (...) {
        // The failure goes to the log, which users share: the address keeps
        // its keys to itself, and so does whatever the server put into the
        // reason.
        throw EDDKError(HideServiceKeys(
            DDKFormat("[CallHttp \"%s\"] %s", Url.c_str(), DDKCurrentErrorMessage().c_str())));
    }
}
