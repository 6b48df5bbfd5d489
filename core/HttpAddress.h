// What the HTTP client judges of an address before and while it connects:
// how libcurl reads it, whether it names a picture, and whether it leads to
// this computer or its local network, which no address taken from a
// service's answer may reach.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct sockaddr;

struct THttpAddress
{
    std::string Scheme, Host, Port, Path; // Host as libcurl spells it: "127.0.0.1", "[::1]"
};

// Url read the way libcurl reads it (a missing scheme guessed, or taken as
// "http" for a proxy's address); nothing when libcurl would refuse it.
std::optional<THttpAddress> ParseHttpAddress(const char* Url, bool Proxy = false);

// A path ending in a picture's extension (".jpg", ".png"...), letter case ignored.
bool IsPicturePath(std::string_view Path);

// A literal loopback, link-local or private address, or a name that always
// means this computer ("localhost" and the names below it).
bool IsLocalHost(std::string Host);
// The same for an address a connection is about to be made to.
bool IsLocalSocketAddress(const sockaddr& Address);
// Whether Address is that of the proxy libcurl takes from the environment for
// Scheme: then the proxy, not this computer, reaches the host.
bool IsProxyAddress(const sockaddr& Address, const std::string& Scheme);
