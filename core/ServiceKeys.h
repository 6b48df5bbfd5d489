// The services' keys kept out of every text the user reads or shares: the
// log, its view and the message boxes. A service that echoes a request back,
// an error that quotes an address or an answer's last bytes may put them
// anywhere in a text, in any spelling, so what is hidden is the values
// themselves, wherever they stand.
#pragma once

#include <bitset>
#include <cstddef>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>

// Values hidden from texts. Each occurrence of one becomes "…", in any letter
// case and with any of its bytes written as "%XX" (either case of hex digits),
// among plain bytes or not. Safe to use from several threads at once.
class TKeyMask
{
public:
    // A value shorter than this is never hidden: it could be no secret, and
    // hiding it would cut ordinary words out of every line.
    static constexpr std::size_t ShortestHidden = 6;

    // Hides Keys for as long as the mask lives; of the values remembered
    // (AddRecent), the oldest are forgotten beyond RecentLimit.
    explicit TKeyMask(std::initializer_list<std::string_view> Keys = {}, std::size_t RecentLimit = 4096);
    TKeyMask(const TKeyMask&) = delete;
    TKeyMask& operator=(const TKeyMask&) = delete;

    // A value hidden until RecentLimit later ones have come.
    void AddRecent(std::string_view Value);
    // Text with every occurrence of a value replaced by "…", nothing else changed.
    std::string Hide(std::string_view Text) const;

private:
    struct THash
    {
        using is_transparent = void;
        std::size_t operator()(std::string_view Value) const;
    };
    // The values of one length, letters in lower case.
    struct TSameLength
    {
        std::unordered_set<std::string, THash, std::equal_to<>> Values;
        std::bitset<256> First, Last; // their first and last bytes, to pass most places by
    };
    // False when Value (letters in lower case) is too short or hidden already.
    bool Add(const std::string& Value);

    const std::size_t FRecentLimit;
    mutable std::mutex FLock;
    std::map<std::size_t, TSameLength> FByLength;
    std::deque<std::string> FRecent; // oldest first
};

// Text with the AlloCine partner code and secret key, the TMDb api key and
// the signatures made lately hidden. Every text bound for the log, its view or
// a box passes through here.
std::string HideServiceKeys(std::string_view Text);

// Has Signature hidden from then on. A signature travels in a request's
// address and may come back in its answer or its error; it is remembered
// until some thousands of later ones have come, far more than all the
// program's threads make while one request's answer is being handled.
void RememberSignature(std::string_view Signature);
