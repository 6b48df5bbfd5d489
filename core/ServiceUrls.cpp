#include "ServiceUrls.h"

#include "DDKStrings.h"
#include "MovieFileName.h"
#include "ServiceKeys.h"
#include "ServiceSettings.h"
#include "UnitTypes.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

namespace {

// The signature travels in the query: the characters an address may not hold
// as they are, and the few the service reads specially, are percent-encoded.
std::string EncodeSignature(std::string_view Signature)
{
    constexpr std::string_view Reserved = "*#%<>+ []";
    std::string Result;
    for (const char Character : Signature) {
        const auto Code = static_cast<unsigned char>(Character);
        if (Code < 32 || Code > 127 || Reserved.find(Character) != std::string_view::npos)
            Result += DDKFormat("%%%02X", Code);
        else
            Result += Character;
    }
    return Result;
}

std::string Sign(const std::string& Query)
{
    const std::string Text = std::string(AllocineSecret) + Query;
    unsigned char Digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(Text.data()), Text.size(), Digest);
    // Base64 of 20 bytes: 28 characters and the terminating zero.
    unsigned char Base64[4 * ((SHA_DIGEST_LENGTH + 2) / 3) + 1];
    EVP_EncodeBlock(Base64, Digest, SHA_DIGEST_LENGTH);
    const std::string_view Signature(reinterpret_cast<const char*>(Base64));
    RememberSignature(Signature);
    return EncodeSignature(Signature);
}

} // namespace

std::string GetAllocineUrl(const std::string& Method, const std::string& Query)
{
    return GetAllocineUrl(Method, Query, DDKNow());
}

std::string GetAllocineUrl(const std::string& Method, const std::string& Query, TDateTime Today)
{
    const std::string Signed = Query + DDKFormat("&partner=%s&sed=%s", AllocinePartner,
                                                 DDKFormatDateTime("yyyymmdd", Today).c_str());
    return DDKFormat("http://%s/rest/v3/%s?%s&sig=%s", AllocineApiHost, Method.c_str(), Signed.c_str(),
                     Sign(Signed).c_str());
}

std::string GetTmdbSearchUrl(const std::string& Query, const std::string& Year)
{
    std::string Result =
        DDKFormat("http://%s/3/search/movie?api_key=%s&query=%s&page=1&language=fr&include_adult=false",
                  TmdbApiHost, TmdbApiKey, Query.c_str());
    if (!Year.empty())
        Result += "&year=" + Year;
    return Result;
}

std::string GetTmdbQuery(const TMovieInfo& Movie)
{
    return DDKReplaceAll(CleanTitle(Movie.OriginalTitle), " ", "+");
}
