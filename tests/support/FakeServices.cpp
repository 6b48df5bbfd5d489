#include "FakeServices.h"

#include "DDKStrings.h"
#include "TempFolder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <stdexcept>

namespace {

constexpr const char* ProxyVariables[] = {"http_proxy", "no_proxy", "NO_PROXY"};

std::string ReasonOf(int Code)
{
    switch (Code) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

// Body compressed as gzip (WindowBits 31) or as the zlib stream HTTP calls
// "deflate" (WindowBits 15).
std::string Compress(const std::string& Body, int WindowBits)
{
    z_stream Zip{};
    if (deflateInit2(&Zip, Z_BEST_COMPRESSION, Z_DEFLATED, WindowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string Result(deflateBound(&Zip, Body.size()), '\0');
    Zip.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Body.data()));
    Zip.avail_in = static_cast<uInt>(Body.size());
    Zip.next_out = reinterpret_cast<Bytef*>(Result.data());
    Zip.avail_out = static_cast<uInt>(Result.size());
    const int Status = deflate(&Zip, Z_FINISH);
    Result.resize(Zip.total_out);
    deflateEnd(&Zip);
    if (Status != Z_STREAM_END)
        throw std::runtime_error("deflate failed");
    return Result;
}

bool PathMatches(std::string_view RoutePath, std::string_view Path)
{
    if (RoutePath.ends_with('*'))
        return Path.starts_with(RoutePath.substr(0, RoutePath.size() - 1));
    return RoutePath == Path;
}

// Reads one request head (up to the blank line); empty when the peer closed
// or sent nothing usable before the server stopped.
std::string ReadHead(int Socket, const bool& Stopping, std::mutex& Mutex)
{
    std::string Head;
    char Buffer[4096];
    while (Head.find("\r\n\r\n") == std::string::npos && Head.size() < 65536) {
        pollfd Poll{Socket, POLLIN, 0};
        const int Ready = poll(&Poll, 1, 100);
        {
            std::lock_guard Lock(Mutex);
            if (Stopping)
                return {};
        }
        if (Ready <= 0)
            continue;
        const ssize_t Received = recv(Socket, Buffer, sizeof Buffer, 0);
        if (Received <= 0)
            return {};
        Head.append(Buffer, static_cast<size_t>(Received));
    }
    return Head;
}

FakeRequest ParseHead(const std::string& Head)
{
    FakeRequest Request;
    const size_t LineEnd = Head.find("\r\n");
    const std::string RequestLine = Head.substr(0, LineEnd);
    const size_t FirstBlank = RequestLine.find(' ');
    const size_t SecondBlank = RequestLine.find(' ', FirstBlank + 1);
    Request.Method = RequestLine.substr(0, FirstBlank);
    std::string Target = RequestLine.substr(FirstBlank + 1, SecondBlank - FirstBlank - 1);

    size_t Start = LineEnd + 2;
    while (Start < Head.size()) {
        const size_t End = Head.find("\r\n", Start);
        const std::string Line = Head.substr(Start, End - Start);
        Start = End + 2;
        const size_t Colon = Line.find(':');
        if (Line.empty() || Colon == std::string::npos)
            continue;
        Request.Headers.emplace_back(Line.substr(0, Colon), DDKTrim(Line.substr(Colon + 1)));
    }

    // Through a proxy the target is absolute: "http://host[:port]/path?query".
    std::string Authority = Request.Header("Host");
    if (DDKStartsText("http://", Target)) {
        const size_t PathStart = Target.find('/', 7);
        Authority = Target.substr(7, PathStart == std::string::npos ? std::string::npos : PathStart - 7);
        Target = PathStart == std::string::npos ? "/" : Target.substr(PathStart);
    }
    Request.Host = DDKLowerCase(Authority.substr(0, Authority.find(':')));
    const size_t Question = Target.find('?');
    Request.Path = Target.substr(0, Question);
    if (Question != std::string::npos)
        Request.Query = Target.substr(Question + 1);
    return Request;
}

void SendAll(int Socket, const std::string& Bytes)
{
    size_t Sent = 0;
    while (Sent < Bytes.size()) {
        const ssize_t Count = send(Socket, Bytes.data() + Sent, Bytes.size() - Sent, MSG_NOSIGNAL);
        if (Count <= 0)
            return; // the client went away: nothing left to tell it
        Sent += static_cast<size_t>(Count);
    }
}

} // namespace

// --- Answers ------------------------------------------------------------------

FakeAnswer FakeAnswer::Text(std::string Body, TEncoding Encoding)
{
    FakeAnswer Answer;
    Answer.Body = std::move(Body);
    Answer.Encoding = Encoding;
    return Answer;
}

FakeAnswer FakeAnswer::File(const std::string& FileName, TEncoding Encoding)
{
    std::string Bytes = ReadWholeFile(FileName);
    if (Bytes == "<missing>")
        throw std::runtime_error("fixture not found: " + FileName);
    return Text(std::move(Bytes), Encoding);
}

FakeAnswer FakeAnswer::Status(int Code, std::string Reason)
{
    FakeAnswer Answer;
    Answer.Code = Code;
    Answer.Reason = std::move(Reason);
    return Answer;
}

FakeAnswer FakeAnswer::Redirect(std::string Location, int Code)
{
    FakeAnswer Answer = Status(Code);
    Answer.Headers.emplace_back("Location", std::move(Location));
    return Answer;
}

FakeAnswer FakeAnswer::Dropped()
{
    FakeAnswer Answer;
    Answer.Drop = true;
    return Answer;
}

FakeAnswer FakeAnswer::Slow(std::chrono::milliseconds Delay, std::string Body)
{
    FakeAnswer Answer = Text(std::move(Body));
    Answer.Delay = Delay;
    return Answer;
}

std::string FakeRequest::Header(std::string_view Name) const
{
    for (const auto& [Key, Value] : Headers)
        if (DDKSameText(Key, Name))
            return Value;
    return {};
}

// --- Server -------------------------------------------------------------------

FakeServices::FakeServices()
{
    FListener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in Address{};
    Address.sin_family = AF_INET;
    Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t Length = sizeof Address;
    if (FListener < 0 || bind(FListener, reinterpret_cast<sockaddr*>(&Address), sizeof Address) != 0 ||
        listen(FListener, 64) != 0 ||
        getsockname(FListener, reinterpret_cast<sockaddr*>(&Address), &Length) != 0) {
        if (FListener >= 0)
            close(FListener);
        throw std::runtime_error("the fake services cannot listen on 127.0.0.1");
    }
    FPort = ntohs(Address.sin_port);

    for (const char* Name : ProxyVariables) {
        const char* Value = std::getenv(Name);
        FSavedVariables.emplace_back(Name, Value ? std::optional<std::string>(Value) : std::nullopt);
        unsetenv(Name);
    }
    setenv("http_proxy", ProxyUrl().c_str(), 1);

    FAcceptThread = std::thread([this] { AcceptLoop(); });
}

FakeServices::~FakeServices()
{
    {
        std::lock_guard Lock(FMutex);
        FStopping = true;
    }
    FChanged.notify_all();
    shutdown(FListener, SHUT_RDWR); // wakes the blocked accept()
    FAcceptThread.join();
    close(FListener);
    // No new connection can start now: the accept thread is gone.
    for (TConnection& Connection : FConnections)
        Connection.Thread.join();

    for (const auto& [Name, Value] : FSavedVariables) {
        if (Value)
            setenv(Name.c_str(), Value->c_str(), 1);
        else
            unsetenv(Name.c_str());
    }
}

std::string FakeServices::ProxyUrl() const
{
    return "http://127.0.0.1:" + std::to_string(FPort);
}

FakeServices::TRoute& FakeServices::RouteFor(std::string_view Host, std::string_view Path,
                                             std::string_view QueryPart)
{
    const std::string LowerHost = DDKLowerCase(Host);
    for (TRoute& Route : FRoutes)
        if (Route.Host == LowerHost && Route.Path == Path && Route.QueryPart == QueryPart)
            return Route;
    FRoutes.push_back({LowerHost, std::string(Path), std::string(QueryPart), {}, {}});
    return FRoutes.back();
}

void FakeServices::Answer(std::string_view Host, std::string_view Path, FakeAnswer Answer, int Times,
                          std::string_view QueryPart)
{
    std::lock_guard Lock(FMutex);
    TRoute& Route = RouteFor(Host, Path, QueryPart);
    for (int Index = 0; Index < Times; ++Index)
        Route.Queue.push_back(Answer);
}

void FakeServices::Default(std::string_view Host, std::string_view Path, FakeAnswer Answer,
                           std::string_view QueryPart)
{
    std::lock_guard Lock(FMutex);
    RouteFor(Host, Path, QueryPart).Fallback = std::move(Answer);
}

std::vector<FakeRequest> FakeServices::Requests() const
{
    std::lock_guard Lock(FMutex);
    return FRequests;
}

int FakeServices::Count(std::string_view Host, std::string_view Path) const
{
    std::lock_guard Lock(FMutex);
    int Result = 0;
    for (const FakeRequest& Request : FRequests)
        if (DDKSameText(Request.Host, Host) && Request.Path == Path)
            ++Result;
    return Result;
}

bool FakeServices::WaitForRequests(std::size_t Count, std::chrono::milliseconds Timeout)
{
    std::unique_lock Lock(FMutex);
    return FChanged.wait_for(Lock, Timeout, [&] { return FRequests.size() >= Count; });
}

// Called with FMutex held. Routes with a query filter come first, so that a
// test can answer one code apart from a route's general answer.
FakeAnswer FakeServices::Choose(const FakeRequest& Request)
{
    for (bool WithQuery : {true, false})
        for (TRoute& Route : FRoutes) {
            if (Route.QueryPart.empty() == WithQuery || Route.Host != Request.Host ||
                !PathMatches(Route.Path, Request.Path) ||
                Request.Query.find(Route.QueryPart) == std::string::npos)
                continue;
            if (!Route.Queue.empty()) {
                FakeAnswer Answer = std::move(Route.Queue.front());
                Route.Queue.pop_front();
                return Answer;
            }
            if (Route.Fallback)
                return *Route.Fallback;
        }
    return FakeAnswer::Status(404);
}

void FakeServices::AcceptLoop()
{
    for (;;) {
        const int Socket = accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard Lock(FMutex);
        if (FStopping) {
            if (Socket >= 0)
                close(Socket);
            return;
        }
        // Finished connections are joined here so that a long run of
        // requests does not pile up threads.
        for (auto Connection = FConnections.begin(); Connection != FConnections.end();) {
            if (Connection->Done) {
                Connection->Thread.join();
                Connection = FConnections.erase(Connection);
            } else {
                ++Connection;
            }
        }
        if (Socket >= 0) {
            TConnection& Connection = FConnections.emplace_back();
            Connection.Thread = std::thread([this, Socket, &Connection] { Serve(Socket, Connection); });
        }
    }
}

bool FakeServices::Pause(std::chrono::milliseconds Delay)
{
    std::unique_lock Lock(FMutex);
    return !FChanged.wait_for(Lock, Delay, [this] { return FStopping; });
}

// One request per connection: every answer says "Connection: close".
void FakeServices::Serve(int Socket, TConnection& Connection)
{
    const std::string Head = ReadHead(Socket, FStopping, FMutex);
    if (!Head.empty()) {
        FakeRequest Request = ParseHead(Head);
        FakeAnswer Answer;
        {
            std::lock_guard Lock(FMutex);
            Answer = Choose(Request);
            FRequests.push_back(std::move(Request));
        }
        FChanged.notify_all();

        if (!Answer.Drop && Pause(Answer.Delay)) {
            std::string Body = Answer.Body;
            if (Answer.Encoding == FakeAnswer::Gzip)
                Body = Compress(Body, 31);
            else if (Answer.Encoding == FakeAnswer::Deflate)
                Body = Compress(Body, 15);
            std::string Reply =
                DDKFormat("HTTP/1.1 %d %s\r\n", Answer.Code,
                          (Answer.Reason.empty() ? ReasonOf(Answer.Code) : Answer.Reason).c_str());
            Reply += DDKFormat("Content-Length: %zu\r\nConnection: close\r\n", Body.size());
            if (Answer.Encoding != FakeAnswer::Identity)
                Reply += Answer.Encoding == FakeAnswer::Gzip ? "Content-Encoding: gzip\r\n"
                                                             : "Content-Encoding: deflate\r\n";
            for (const auto& [Name, Value] : Answer.Headers)
                Reply += Name + ": " + Value + "\r\n";
            Reply += "\r\n" + Body;
            SendAll(Socket, Reply);
        }
    }
    shutdown(Socket, SHUT_WR);
    close(Socket);
    std::lock_guard Lock(FMutex);
    Connection.Done = true;
}
