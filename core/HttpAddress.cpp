#include "HttpAddress.h"

#include "DDKStrings.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

bool IsLocalIpv4(std::uint32_t Address) // host byte order
{
    const auto In = [Address](std::uint32_t Network, int Bits) {
        return (Address >> (32 - Bits)) == (Network >> (32 - Bits));
    };
    return In(0x00000000, 8)      // "this network": 0.0.0.0 reaches this computer
           || In(0x0A000000, 8)   // 10/8, private
           || In(0x64400000, 10)  // 100.64/10, behind the provider's address translation
           || In(0x7F000000, 8)   // loopback
           || In(0xA9FE0000, 16)  // link-local, where cloud machines answer metadata queries
           || In(0xAC100000, 12)  // 172.16/12, private
           || In(0xC0A80000, 16); // 192.168/16, private
}

bool IsLocalIpv6(const in6_addr& Address)
{
    const unsigned char* Bytes = Address.s6_addr;
    // An IPv4 address in IPv6 clothing is judged as itself.
    if (IN6_IS_ADDR_V4MAPPED(&Address) || IN6_IS_ADDR_V4COMPAT(&Address))
        return IsLocalIpv4(std::uint32_t(Bytes[12]) << 24 | std::uint32_t(Bytes[13]) << 16 |
                           std::uint32_t(Bytes[14]) << 8 | Bytes[15]);
    return IN6_IS_ADDR_LOOPBACK(&Address) || IN6_IS_ADDR_UNSPECIFIED(&Address) ||
           IN6_IS_ADDR_LINKLOCAL(&Address) || IN6_IS_ADDR_SITELOCAL(&Address) ||
           (Bytes[0] & 0xFE) == 0xFC; // fc00::/7, unique local
}

} // namespace

bool IsLocalSocketAddress(const sockaddr& Address)
{
    if (Address.sa_family == AF_INET)
        return IsLocalIpv4(ntohl(reinterpret_cast<const sockaddr_in&>(Address).sin_addr.s_addr));
    if (Address.sa_family == AF_INET6)
        return IsLocalIpv6(reinterpret_cast<const sockaddr_in6&>(Address).sin6_addr);
    return true; // no other family leads anywhere on the web
}

// A host as libcurl spells it once parsed (IPv4 numbers in dotted form, IPv6
// between brackets): a literal local address, or a name that always means
// this computer, which libcurl resolves by itself.
bool IsLocalHost(std::string Host)
{
    Host = DDKLowerCase(Host);
    if (Host.ends_with('.'))
        Host.pop_back();
    if (Host == "localhost" || Host.ends_with(".localhost"))
        return true;
    if (Host.size() > 2 && Host.front() == '[' && Host.back() == ']') {
        in6_addr Address;
        return inet_pton(AF_INET6, Host.substr(1, Host.size() - 2).c_str(), &Address) == 1 &&
               IsLocalIpv6(Address);
    }
    in_addr Address;
    return inet_pton(AF_INET, Host.c_str(), &Address) == 1 && IsLocalIpv4(ntohl(Address.s_addr));
}

std::optional<THttpAddress> ParseHttpAddress(const char* Url, bool Proxy)
{
    const unsigned Flags = (Proxy ? CURLU_DEFAULT_SCHEME : CURLU_GUESS_SCHEME) | CURLU_NON_SUPPORT_SCHEME;
    const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> Handle(curl_url(), curl_url_cleanup);
    if (!Handle || curl_url_set(Handle.get(), CURLUPART_URL, Url, Flags) != CURLUE_OK)
        return std::nullopt;
    const auto Part = [&Handle](CURLUPart Which) {
        char* Text = nullptr;
        std::string Value;
        if (curl_url_get(Handle.get(), Which, &Text, 0) == CURLUE_OK && Text)
            Value = Text;
        curl_free(Text);
        return Value;
    };
    return THttpAddress{Part(CURLUPART_SCHEME), Part(CURLUPART_HOST), Part(CURLUPART_PORT),
                        Part(CURLUPART_PATH)};
}

bool IsPicturePath(std::string_view Path)
{
    for (const char* Extension : {".jpg", ".jpeg", ".png", ".gif", ".webp", ".bmp"})
        if (DDKEndsText(Extension, Path))
            return true;
    return false;
}

// A proxy on this computer or its network is the one local address that a
// request may reach.
bool IsProxyAddress(const sockaddr& Address, const std::string& Scheme)
{
    const std::string Lower = DDKLowerCase(Scheme);
    std::vector<std::string> Names{Lower + "_proxy"};
    // Like libcurl, never HTTP_PROXY, which a web server's CGI environment sets.
    if (Lower != "http")
        Names.push_back(DDKUpperCase(Lower) + "_PROXY");
    Names.insert(Names.end(), {"all_proxy", "ALL_PROXY"});
    const char* Proxy = nullptr;
    for (const std::string& Name : Names)
        if (const char* Value = std::getenv(Name.c_str()); Value && *Value) {
            Proxy = Value;
            break;
        }
    const std::optional<THttpAddress> Parsed = Proxy ? ParseHttpAddress(Proxy, true) : std::nullopt;
    if (!Parsed)
        return false;
    std::string Host = Parsed->Host;
    if (Host.size() > 2 && Host.front() == '[')
        Host = Host.substr(1, Host.size() - 2);
    const std::string Port = !Parsed->Port.empty()       ? Parsed->Port
                             : Parsed->Scheme == "https" ? "443"
                                                         : "1080";

    addrinfo Hints{};
    Hints.ai_flags = AI_NUMERICSERV;
    Hints.ai_socktype = SOCK_STREAM;
    addrinfo* Found = nullptr;
    if (getaddrinfo(Host.c_str(), Port.c_str(), &Hints, &Found) != 0)
        return false;
    bool Same = false;
    for (const addrinfo* Item = Found; Item && !Same; Item = Item->ai_next) {
        if (Item->ai_family != Address.sa_family)
            continue;
        if (Address.sa_family == AF_INET) {
            const auto& A = reinterpret_cast<const sockaddr_in&>(Address);
            const auto& B = *reinterpret_cast<const sockaddr_in*>(Item->ai_addr);
            Same = A.sin_port == B.sin_port && A.sin_addr.s_addr == B.sin_addr.s_addr;
        } else if (Address.sa_family == AF_INET6) {
            const auto& A = reinterpret_cast<const sockaddr_in6&>(Address);
            const auto& B = *reinterpret_cast<const sockaddr_in6*>(Item->ai_addr);
            Same = A.sin6_port == B.sin6_port && IN6_ARE_ADDR_EQUAL(&A.sin6_addr, &B.sin6_addr);
        }
    }
    freeaddrinfo(Found);
    return Same;
}
