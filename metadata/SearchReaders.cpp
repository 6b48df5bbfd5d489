// Candidate lists from the services' title searches, in answer order: the
// pickers of the identification scan them from the first result. A list holds
// at most the results a search can return.
#include "MetadataValues.h"
#include "UnitMetadata.h"

#include "DDKConversion.h"
#include "DDKError.h"
#include "MovieFileName.h"
#include "UnitConfig.h"

#include <memory>

void TMetadata::ReadSearchAc(const std::string& Stream, TMovieList& List)
{
    DDKTagged("[TMetadata.ReadSearchAc] ", [&] {
        List.Clear();
        if (IsJsonStream(Stream)) {
            const TJson root = JsonParseResults(Stream, "feed", "movie", AllocineSearchResults);
            const TJson& feed = JsonObject(root, "feed");
            if (!JsonHas(feed, "movie"))
                return; // no result
            for (const TJson& item : JsonList(feed, "movie")) {
                auto movie = std::make_unique<TMovieInfo>();
                movie->Code = JsonInteger(item, "code");
                movie->OriginalTitle = JsonText(item, "originalTitle");
                movie->Title = JsonText(item, "title");
                List.Add(std::move(movie));
            }
            return;
        }
        LoadXml(Stream);
        for (const pugi::xpath_node& item : XmlSelect(FXmlModel, "/feed/movie")) {
            if (List.Count() == AllocineSearchResults)
                break;
            auto movie = std::make_unique<TMovieInfo>();
            movie->Code = XmlInteger(item.node(), "@code");
            movie->OriginalTitle = XmlText(item.node(), "originalTitle");
            movie->Title = XmlText(item.node(), "title");
            List.Add(std::move(movie));
        }
    });
}

void TMetadata::ReadSearchTmdb(const std::string& Stream, TMovieList& List)
{
    DDKTagged("[TMetadata.ReadSearchTmdb] ", [&] {
        List.Clear();
        if (IsJsonStream(Stream)) {
            const TJson root = JsonParseResults(Stream, nullptr, "results", TmdbSearchResults);
            if (!JsonHas(root, "results"))
                return;
            for (const TJson& item : JsonList(root, "results")) {
                // Code holds the TMDb id here; TmdbId stays 0.
                auto movie = std::make_unique<TMovieInfo>();
                movie->Code = JsonInteger(item, "id");
                movie->Title = JsonText(item, "title");
                movie->OriginalTitle = JsonText(item, "original_title");
                if (!JsonMember(item, "backdrop_path").is_null())
                    movie->BackdropUrl = Config.GetImageUrl("original", JsonText(item, "backdrop_path"));
                movie->ReleaseDate = DDKStringToDateTime(JsonText(item, "release_date"), false);
                List.Add(std::move(movie));
            }
            return;
        }
        LoadXml(Stream);
        for (const pugi::xpath_node& item : XmlSelect(FXmlModel, "/OpenSearchDescription/movies/movie")) {
            if (List.Count() == TmdbSearchResults)
                break;
            const pugi::xml_node node = item.node();
            auto movie = std::make_unique<TMovieInfo>();
            movie->Code = XmlInteger(node, "id");
            movie->Title = XmlText(node, "name");
            movie->OriginalTitle = XmlText(node, "original_name");
            movie->BackdropUrl = XmlText(node, "images/image[@type='backdrop'][@size='original']/@url");
            movie->ReleaseDate = DDKStringToDateTime(XmlText(node, "released"), false);
            movie->Translated = DDKStrToBool(XmlText(node, "translated"));
            List.Add(std::move(movie));
        }
    });
}
