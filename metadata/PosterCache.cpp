// The poster cache: one small picture per search result in the cache folder,
// so that the anomaly window shows thumbnails without going to the network.
#include "UnitMetadata.h"

#include "DDKError.h"
#include "DDKFiles.h"
#include "DDKStrings.h"
#include "HttpObject.h"
#include "MetadataValues.h"
#include "MovieFileName.h"
#include "UnitConfig.h"

#include <algorithm>

namespace {

// AlloCine serves the 75 by 106 thumbnail of a poster under the same path
// prefixed with "/r_75_106".
std::string ThumbnailUrl(std::string Url)
{
    const std::string_view Medias = "/medias/";
    const std::size_t Position = DDKFindText(Url, Medias);
    if (Position != std::string::npos)
        Url.replace(Position, Medias.size(), "/r_75_106/medias/");
    return Url;
}

std::string PictureExtension(const std::string& Url)
{
    std::string Extension = DDKLowerCase(DDKExtractFileExt(Url));
    return Extension == ".jpeg" ? ".jpg" : Extension;
}

// The caller's client takes no more than a thumbnail for as long as this
// lives, whatever the address looks like; its own limits come back after.
class TThumbnailLimits
{
public:
    explicit TThumbnailLimits(THttpObject& Http)
        : FHttp(Http), FPictureLimit(Http.PictureLimit), FAnswerLimit(Http.AnswerLimit)
    {
        Http.PictureLimit = std::min(FPictureLimit, TMetadata::ThumbnailLimit);
        Http.AnswerLimit = std::min(FAnswerLimit, TMetadata::ThumbnailLimit);
    }
    ~TThumbnailLimits()
    {
        FHttp.PictureLimit = FPictureLimit;
        FHttp.AnswerLimit = FAnswerLimit;
    }
    TThumbnailLimits(const TThumbnailLimits&) = delete;
    TThumbnailLimits& operator=(const TThumbnailLimits&) = delete;

private:
    THttpObject& FHttp;
    const std::size_t FPictureLimit;
    const std::size_t FAnswerLimit;
};

} // namespace

void TMetadata::SavePosterCache(const std::string& Stream, TSource Source, THttpObject& Http)
{
    DDKTagged("[TMetadata.SavePosterCache] ", [&] {
        std::string Buffer;
        const bool IsJson = IsJsonStream(Stream);
        // Only the results that a search can show get a thumbnail: an answer
        // with thousands of results would otherwise cost as many downloads.
        int Left = Source == SourceAllocine ? AllocineSearchResults : TmdbSearchResults;
        if (Source == SourceAllocine && IsJson) {
            const TJson Answer = JsonParseResults(Stream, "feed", "movie", Left);
            const TJson& Feed = JsonMember(Answer, "feed");
            if (!JsonHas(Feed, "movie"))
                return;
            for (const TJson& Item : JsonMember(Feed, "movie")) {
                if (Left-- == 0)
                    break;
                const std::string Code = std::to_string(JsonInteger(Item, "code"));
                if (JsonHas(Item, "poster"))
                    DownloadPoster(Http, Buffer, ThumbnailUrl(JsonText(JsonMember(Item, "poster"), "href")),
                                   "allocine", Code);
            }
        } else if (Source == SourceAllocine) {
            LoadXml(Stream);
            for (const pugi::xpath_node& Movie : XmlSelect(FXmlModel, "/feed/movie")) {
                if (Left-- == 0)
                    break;
                DownloadPoster(Http, Buffer, ThumbnailUrl(XmlText(Movie.node(), "poster/@href")), "allocine",
                               XmlText(Movie.node(), "@code"));
            }
        } else if (IsJson) {
            const TJson Answer = JsonParseResults(Stream, nullptr, "results", Left);
            if (!JsonHas(Answer, "results"))
                return;
            for (const TJson& Item : JsonMember(Answer, "results")) {
                if (Left-- == 0)
                    break;
                const std::string Code = std::to_string(JsonInteger(Item, "id"));
                if (!JsonMember(Item, "poster_path").is_null())
                    DownloadPoster(Http, Buffer, Config.GetImageUrl("w92", JsonText(Item, "poster_path")),
                                   "tmdb", Code);
            }
        } else {
            LoadXml(Stream);
            for (const pugi::xpath_node& Movie :
                 XmlSelect(FXmlModel, "/OpenSearchDescription/movies/movie")) {
                if (Left-- == 0)
                    break;
                DownloadPoster(Http, Buffer,
                               XmlText(Movie.node(), "images/image[@type='poster'][@size='thumb']/@url"),
                               "tmdb", XmlText(Movie.node(), "id"));
            }
        }
    });
}

void TMetadata::DownloadPoster(THttpObject& Http, std::string& Buffer, const std::string& Url,
                               const std::string& ServiceWord, const std::string& CodeText)
{
    try {
        // The code names a file in the cache folder: only a decimal number may.
        if (Url.empty() || DDKStrToInt64Def(CodeText, -1) < 0)
            return;
        const std::string CacheName = DDKFormat("%s/%s-%s%s", Config.CacheDir.c_str(), ServiceWord.c_str(),
                                                CodeText.c_str(), PictureExtension(Url).c_str());
        // A cached picture never changes on the service: never fetch it twice.
        if (DDKFileExists(CacheName))
            return;
        Buffer.clear();
        const TThumbnailLimits Limits(Http);
        // The picture is whole in memory before the cache file appears, so an
        // interrupted download leaves nothing behind.
        if (Http.CallHttp(Url, Buffer))
            DDKSaveFileAtomic(CacheName, Buffer);
    } catch (...) {
        // One result without its thumbnail must not cost the others theirs.
    }
}
