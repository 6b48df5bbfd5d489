#include "FakeServices.h"

#include "DDKStrings.h"
#include "TempFolder.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace {

FakeRequest ParseHead(const std::string& Head)
{
    FakeRequest Request;
    std::istringstream Lines(Head);
    std::string Target, Line;
    Lines >> Request.Method >> Target;
    std::getline(Lines, Line);
    while (std::getline(Lines, Line))
        if (const size_t Colon = Line.find(':'); Colon != std::string::npos)
            Request.Headers.emplace_back(Line.substr(0, Colon), DDKTrim(Line.substr(Colon + 1)));

    // Through the proxy the target is absolute: "http://host[:port]/path?query";
    // a client that comes straight here names the host in its header.
    if (Target.starts_with('/')) {
        const std::string Host = Request.Header("Host");
        Request.Host = DDKLowerCase(Host.substr(0, Host.find(':')));
    } else {
        const size_t PathStart = std::min(Target.find('/', 7), Target.size());
        // An IPv6 host keeps its brackets, and the colons inside them.
        const size_t HostEnd = Target.compare(7, 1, "[") == 0 ? Target.find(']', 7) + 1 : 7;
        Request.Host = DDKLowerCase(Target.substr(7, std::min(Target.find(':', HostEnd), PathStart) - 7));
        Target.erase(0, PathStart);
    }
    const size_t Question = std::min(Target.find('?'), Target.size());
    Request.Path = Target.substr(0, Question);
    Request.Query = Target.substr(std::min(Question + 1, Target.size()));
    return Request;
}

// A zstd frame whose blocks are stored as they are, except a block of one
// repeated byte, which zstd writes in four bytes: that is all a bomb needs.
std::string ZstdFrame(std::string_view Content)
{
    constexpr size_t BlockSize = 1 << 17;         // the largest block zstd allows
    std::string Frame("\x28\xB5\x2F\xFD\x00", 5); // magic number; no size, no checksum
    Frame += static_cast<char>((17 - 10) << 3);   // a window of 2^17 bytes
    size_t Position = 0;
    do {
        const std::string_view Block = Content.substr(Position, BlockSize);
        Position += Block.size();
        const bool Run = !Block.empty() && Block.find_first_not_of(Block[0]) == std::string_view::npos;
        const uint32_t Header = (Position >= Content.size() ? 1u : 0u) | (Run ? 1u : 0u) << 1 |
                                static_cast<uint32_t>(Block.size()) << 3;
        Frame += {static_cast<char>(Header & 0xFF), static_cast<char>(Header >> 8 & 0xFF),
                  static_cast<char>(Header >> 16)};
        if (Run)
            Frame += Block[0];
        else
            Frame += Block;
    } while (Position < Content.size());
    return Frame;
}

// Encodes a body a piece at a time, so that a body without end can be
// compressed as it goes. Each zstd piece is a frame of its own.
class TEncoder
{
public:
    explicit TEncoder(FakeAnswer::TEncoding Encoding) : FEncoding(Encoding)
    {
        if (IsZlib())
            deflateInit2(&FZip, Z_BEST_COMPRESSION, Z_DEFLATED, Encoding == FakeAnswer::Gzip ? 31 : 15, 8,
                         Z_DEFAULT_STRATEGY);
    }
    ~TEncoder()
    {
        if (IsZlib())
            deflateEnd(&FZip);
    }
    TEncoder(const TEncoder&) = delete;
    TEncoder& operator=(const TEncoder&) = delete;

    // Last ends zlib's stream; before that, each piece is flushed to the wire.
    std::string Encode(std::string_view Piece, bool Last)
    {
        if (FEncoding == FakeAnswer::Zstd)
            return ZstdFrame(Piece);
        if (!IsZlib())
            return std::string(Piece);
        std::string Encoded;
        char Buffer[1 << 16];
        FZip.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Piece.data()));
        FZip.avail_in = static_cast<uInt>(Piece.size());
        do {
            FZip.next_out = reinterpret_cast<Bytef*>(Buffer);
            FZip.avail_out = sizeof Buffer;
            deflate(&FZip, Last ? Z_FINISH : Z_SYNC_FLUSH);
            Encoded.append(Buffer, sizeof Buffer - FZip.avail_out);
        } while (FZip.avail_out == 0);
        return Encoded;
    }

    const char* Header() const
    {
        static const char* const Names[] = {"", "Content-Encoding: gzip\r\n", "Content-Encoding: deflate\r\n",
                                            "Content-Encoding: zstd\r\n"};
        return Names[FEncoding];
    }

private:
    bool IsZlib() const { return FEncoding == FakeAnswer::Gzip || FEncoding == FakeAnswer::Deflate; }

    FakeAnswer::TEncoding FEncoding;
    z_stream FZip{};
};

// The status line and headers; a body that comes in pieces has no length.
std::string HeadOf(const FakeAnswer& Answer, const TEncoder& Encoder, size_t BodySize, bool KeepOpen)
{
    std::string Headers = Encoder.Header();
    for (const auto& [Name, Value] : Answer.Headers)
        Headers += Name + ": " + Value + "\r\n";
    if (Answer.Repeat == 0)
        Headers += DDKFormat("Content-Length: %zu\r\n", BodySize);
    static const std::pair<int, const char*> Reasons[] = {
        {200, "OK"},        {301, "Moved Permanently"},     {302, "Found"},
        {404, "Not Found"}, {500, "Internal Server Error"}, {503, "Service Unavailable"}};
    std::string Reason = Answer.Reason.empty() ? "Status" : Answer.Reason;
    for (const auto& [Code, Phrase] : Reasons)
        if (Code == Answer.Code && Answer.Reason.empty())
            Reason = Phrase;
    return DDKFormat("HTTP/1.1 %d %s\r\nConnection: %s\r\n", Answer.Code, Reason.c_str(),
                     KeepOpen ? "keep-alive" : "close") +
           Headers + "\r\n";
}

// A blocking send returns once every byte is sent or the client has gone.
bool SendAll(int Socket, const std::string& Bytes)
{
    return send(Socket, Bytes.data(), Bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(Bytes.size());
}

// Reads one request head (up to the blank line), then its body, which is
// let go; Pending keeps what came after them for the next request. Empty
// when the peer closed or the server stopped first.
std::string ReadHead(int Socket, const std::atomic<bool>& Stopping, std::string& Pending)
{
    char Buffer[4096];
    const auto Receive = [&] {
        pollfd Poll{Socket, POLLIN, 0};
        const int Ready = poll(&Poll, 1, 100);
        if (Stopping)
            return false;
        if (Ready <= 0)
            return true;
        const ssize_t Received = recv(Socket, Buffer, sizeof Buffer, 0);
        if (Received <= 0)
            return false;
        Pending.append(Buffer, static_cast<size_t>(Received));
        return true;
    };
    size_t End;
    while ((End = Pending.find("\r\n\r\n")) == std::string::npos)
        if (!Receive())
            return {};
    std::string Head = Pending.substr(0, End + 4);
    Pending.erase(0, End + 4);
    const size_t BodySize = static_cast<size_t>(
        std::max<std::int64_t>(DDKStrToInt64Def(ParseHead(Head).Header("Content-Length"), 0), 0));
    while (Pending.size() < BodySize)
        if (!Receive())
            return {};
    Pending.erase(0, BodySize);
    return Head;
}

} // namespace

FakeAnswer FakeAnswer::File(const std::string& FileName, TEncoding Encoding)
{
    std::string Bytes = ReadWholeFile(FileName);
    if (Bytes == "<missing>")
        throw std::runtime_error("fixture not found: " + FileName);
    return Text(std::move(Bytes), Encoding);
}

std::string FakeRequest::Header(std::string_view Name) const
{
    for (const auto& [Key, Value] : Headers)
        if (DDKSameText(Key, Name))
            return Value;
    return {};
}

FakeServices::FakeServices()
{
    FListener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in Address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t Length = sizeof Address;
    if (FListener < 0 || bind(FListener, reinterpret_cast<sockaddr*>(&Address), sizeof Address) != 0 ||
        listen(FListener, 64) != 0 ||
        getsockname(FListener, reinterpret_cast<sockaddr*>(&Address), &Length) != 0)
        throw std::runtime_error("the fake services cannot listen on 127.0.0.1");
    FPort = ntohs(Address.sin_port);
    for (const char* Name : {"http_proxy", "no_proxy", "NO_PROXY"}) {
        const char* Value = std::getenv(Name);
        FSavedVariables.emplace_back(Name, Value ? std::optional<std::string>(Value) : std::nullopt);
        unsetenv(Name);
    }
    setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(FPort)).c_str(), 1);
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
    FConnections.clear(); // waits for every connection to end
    for (const auto& [Name, Value] : FSavedVariables) {
        Value ? setenv(Name.c_str(), Value->c_str(), 1) : unsetenv(Name.c_str());
    }
}

namespace {

std::string RouteKey(std::string_view Host, std::string_view Path)
{
    std::string Key(Host);
    Key += '\n';
    Key += Path;
    return Key;
}

} // namespace

FakeServices::TRoute& FakeServices::RouteFor(std::string_view Host, std::string_view Path,
                                             std::string_view QueryPart)
{
    const std::string LowerHost = DDKLowerCase(Host);
    const std::string Key = RouteKey(LowerHost, Path) + '\n' + std::string(QueryPart);
    if (const auto Found = FRouteIndex.find(Key); Found != FRouteIndex.end())
        return FRoutes[Found->second];
    const std::size_t Index = FRoutes.size();
    FRouteIndex.emplace(Key, Index);
    if (Path.ends_with('*'))
        FPrefixRoutes.push_back(Index);
    else
        FExactRoutes[RouteKey(LowerHost, Path)].push_back(Index);
    return FRoutes.emplace_back(TRoute{LowerHost, std::string(Path), std::string(QueryPart), {}, {}});
}

void FakeServices::Answer(std::string_view Host, std::string_view Path, FakeAnswer Answer, int Times,
                          std::string_view QueryPart)
{
    std::lock_guard Lock(FMutex);
    if (Answer.Drop)
        StopKeepingAlive();
    std::deque<FakeAnswer>& Queue = RouteFor(Host, Path, QueryPart).Queue;
    Queue.insert(Queue.end(), std::max(Times, 0), Answer);
}

void FakeServices::Default(std::string_view Host, std::string_view Path, FakeAnswer Answer,
                           std::string_view QueryPart)
{
    std::lock_guard Lock(FMutex);
    if (Answer.Drop)
        StopKeepingAlive();
    RouteFor(Host, Path, QueryPart).Fallback = std::move(Answer);
}

void FakeServices::StopKeepingAlive()
{
    FKeepAlive = false;
    // The client sees them closed before it would send on them.
    for (const int Socket : FIdleSockets)
        shutdown(Socket, SHUT_RDWR);
    FIdleSockets.clear();
}

std::vector<FakeRequest> FakeServices::Requests() const
{
    std::lock_guard Lock(FMutex);
    return FRequests;
}

int FakeServices::Count(std::string_view Host, std::string_view Path) const
{
    std::lock_guard Lock(FMutex);
    return static_cast<int>(std::ranges::count_if(FRequests, [&](const FakeRequest& Request) {
        return DDKSameText(Request.Host, Host) && Request.Path == Path;
    }));
}

bool FakeServices::WaitForRequests(std::size_t Count, std::chrono::milliseconds Timeout)
{
    std::unique_lock Lock(FMutex);
    return FChanged.wait_for(Lock, Timeout, [&] { return FRequests.size() >= Count; });
}

bool FakeServices::Matches(const TRoute& Route, const FakeRequest& Request, bool WithQuery) const
{
    const std::string_view Path = Route.Path;
    const bool PathMatches = Path.ends_with('*') ? Request.Path.starts_with(Path.substr(0, Path.size() - 1))
                                                 : Path == Request.Path;
    return Route.QueryPart.empty() != WithQuery && Route.Host == Request.Host && PathMatches &&
           Request.Query.find(Route.QueryPart) != std::string::npos;
}

// Called with FMutex held. Routes with a query filter come first, so that a
// test can answer one code apart from a route's general answer; within each
// kind, the first route given wins.
FakeAnswer FakeServices::Choose(const FakeRequest& Request)
{
    std::vector<std::size_t> Candidates;
    if (const auto Found = FExactRoutes.find(RouteKey(Request.Host, Request.Path));
        Found != FExactRoutes.end())
        Candidates = Found->second;
    const std::size_t Exact = Candidates.size();
    Candidates.insert(Candidates.end(), FPrefixRoutes.begin(), FPrefixRoutes.end());
    std::inplace_merge(Candidates.begin(), Candidates.begin() + static_cast<std::ptrdiff_t>(Exact),
                       Candidates.end());
    for (bool WithQuery : {true, false})
        for (const std::size_t Index : Candidates) {
            TRoute& Route = FRoutes[Index];
            if (!Matches(Route, Request, WithQuery))
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
        if (FStopping) {
            if (Socket >= 0)
                close(Socket);
            return;
        }
        // Finished connections are let go here so that a long run of
        // requests does not pile up threads.
        std::erase_if(FConnections, [](const std::future<void>& Connection) {
            return Connection.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        });
        if (Socket >= 0)
            FConnections.push_back(std::async(std::launch::async, [this, Socket] { Serve(Socket); }));
    }
}

// Connections stay open for the next request, as a web service's do, unless
// the client asks otherwise or the answer ends only with the connection.
void FakeServices::Serve(int Socket)
{
    std::string Pending;
    for (bool KeepOpen = true, Served = false; KeepOpen; Served = true) {
        if (Served) {
            std::lock_guard Lock(FMutex);
            if (!FKeepAlive)
                break;
            FIdleSockets.push_back(Socket);
        }
        const std::string Head = ReadHead(Socket, FStopping, Pending);
        if (Served) {
            std::lock_guard Lock(FMutex);
            std::erase(FIdleSockets, Socket);
        }
        if (Head.empty())
            break;
        FakeRequest Request = ParseHead(Head);
        std::unique_lock Lock(FMutex);
        const FakeAnswer Answer = Choose(Request);
        KeepOpen = FKeepAlive && !Answer.Drop && Answer.Repeat == 0 &&
                   !DDKSameText(Request.Header("Connection"), "close");
        FRequests.push_back(std::move(Request));
        FChanged.notify_all();
        // Each wait ends early, and false, when the server stops.
        const auto Wait = [&](std::chrono::milliseconds Time) {
            return !FChanged.wait_for(Lock, Time, [this] { return FStopping.load(); });
        };
        if (Answer.Drop || !Wait(Answer.Delay))
            break;
        Lock.unlock();
        if (Answer.Meanwhile)
            Answer.Meanwhile();
        TEncoder Encoder(Answer.Encoding);
        const std::string Body = Encoder.Encode(Answer.Body, Answer.Repeat == 0);
        bool Sending = SendAll(Socket, HeadOf(Answer, Encoder, Body.size(), KeepOpen) + Body);
        for (int Sent = 0; Sending && Sent != Answer.Repeat; ++Sent) {
            Lock.lock();
            Sending = Wait(Answer.ChunkPause);
            Lock.unlock();
            Sending = Sending && SendAll(Socket, Encoder.Encode(Answer.Chunk, Sent + 1 == Answer.Repeat));
        }
        KeepOpen = KeepOpen && Sending;
    }
    shutdown(Socket, SHUT_WR);
    close(Socket);
}
