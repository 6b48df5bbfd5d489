// Movie records from the services' movie answers: AlloCine's "movie" answer
// and TMDb's movie answer, each in its JSON or XML form.
#include "MetadataValues.h"
#include "UnitMetadata.h"

#include "DDKConversion.h"
#include "DDKError.h"
#include "DDKFiles.h"
#include "DDKRegExpr.h"
#include "DDKStrings.h"
#include "MovieFileName.h"
#include "UnitConfig.h"

#include <string>

namespace {

// Cast activity codes on AlloCine.
constexpr std::int32_t ActivityDirector = 8002;
constexpr std::int32_t ActivityActor = 8001;
// The record keeps the leading actors only.
constexpr int MaxActors = 5;

std::int32_t CastActivity(const TJson& Item)
{
    return JsonInteger(JsonObject(Item, "activity"), "code");
}

void AddPerson(TDDKStringList& List, const TJson& Person)
{
    List.AddObject(JsonText(Person, "name"), JsonInteger(Person, "code"));
}

void AddCodedNames(TDDKStringList& List, const TJson& Items)
{
    for (const TJson& item : Items)
        List.AddObject(JsonText(item, "$"), JsonInteger(item, "code"));
}

} // namespace

bool TMetadata::ReadFicheAcFile(const std::string& FileName, TMovieInfo& Movie)
{
    return ReadFicheAc(DDKLoadFile(FileName), Movie);
}

bool TMetadata::ReadFicheAc(const std::string& Stream, TMovieInfo& Movie)
{
    return DDKTagged("[TMetadata.ReadFicheAc] ", [&] {
        const bool isJson = IsJsonStream(Stream);
        if (isJson)
            ReadFicheAcJson(Stream, Movie);
        else
            ReadFicheAcXml(Stream, Movie);
        // The service leaves the title out when it equals the original one.
        if (Movie.Title.empty())
            Movie.Title = Movie.OriginalTitle;
        return isJson;
    });
}

void TMetadata::ReadFicheAcJson(const std::string& Stream, TMovieInfo& Movie)
{
    const TJson root = JsonParse(Stream);
    const TJson& movie = JsonObject(root, "movie");

    Movie.Code = JsonInteger(movie, "code");
    Movie.Title = JsonText(movie, "title");
    Movie.OriginalTitle = JsonText(movie, "originalTitle");
    // Each optional member is looked up once.
    if (const TJson* release = JsonFind(movie, "release"))
        Movie.ReleaseDate = DDKStringToDateTime(JsonText(*release, "releaseDate"), false);
    Movie.Runtime = JsonInteger(movie, "runtime") / 60;

    if (const TJson* castMember = JsonFindList(movie, "castMember")) {
        const TJson& cast = *castMember;
        // Directors are the leading run of the cast only: the service lists
        // them first, and a later 8002 belongs to another credit block.
        Movie.Directors.Clear();
        for (const TJson& item : cast) {
            if (CastActivity(item) != ActivityDirector)
                break;
            if (const TJson* person = JsonFind(item, "person"))
                AddPerson(Movie.Directors, *person);
        }
        Movie.Actors.Clear();
        for (const TJson& item : cast) {
            if (Movie.Actors.Count() >= MaxActors)
                break;
            if (CastActivity(item) != ActivityActor)
                continue;
            if (const TJson* person = JsonFind(item, "person"))
                AddPerson(Movie.Actors, *person);
        }
    }

    Movie.ProductionYear = std::to_string(JsonInteger(movie, "productionYear"));
    std::string synopsis = JsonText(movie, "synopsisShort");
    if (synopsis.empty())
        synopsis = JsonText(movie, "synopsis");
    Movie.Synopsis = StripTags(synopsis);

    if (const TJson* poster = JsonFind(movie, "poster"))
        Movie.PosterUrl = JsonText(*poster, "href");
    if (const TJson* found = JsonFind(movie, "statistics")) {
        const TJson& statistics = *found;
        Movie.PressRating = JsonFloat(statistics, "pressRating");
        Movie.UserRating = JsonFloat(statistics, "userRating");
        Movie.UserRatingCount = JsonInteger(statistics, "userRatingCount");
    }
    if (const TJson* found = JsonFindList(movie, "link")) {
        const TJson& links = *found;
        if (!links.empty())
            Movie.WebUrl = JsonText(links.front(), "href");
    }

    Movie.Genres.Clear();
    if (const TJson* genres = JsonFindList(movie, "genre"))
        AddCodedNames(Movie.Genres, *genres);
    Movie.Nationalities.Clear();
    if (const TJson* nationalities = JsonFindList(movie, "nationality"))
        AddCodedNames(Movie.Nationalities, *nationalities);
}

void TMetadata::ReadFicheAcXml(const std::string& Stream, TMovieInfo& Movie)
{
    LoadXml(Stream);
    const pugi::xml_node document = FXmlModel;

    Movie.Code = XmlInteger(document, "/movie/@code");
    Movie.Title = XmlText(document, "/movie/title");
    Movie.OriginalTitle = XmlText(document, "/movie/originalTitle");
    Movie.ReleaseDate = DDKStringToDateTime(XmlText(document, "/movie/release/releaseDate"), false);
    Movie.Runtime = XmlInteger(document, "/movie/runtime") / 60;

    const pugi::xpath_node_set cast = XmlSelect(document, "/movie/casting/castMember");
    Movie.Directors.Clear();
    for (const pugi::xpath_node& item : cast) {
        if (XmlInteger(item.node(), "activity/@code") != ActivityDirector)
            break;
        Movie.Directors.AddObject(XmlText(item.node(), "person/name"),
                                  XmlInteger(item.node(), "person/@code"));
    }
    Movie.Actors.Clear();
    for (const pugi::xpath_node& item : cast) {
        if (Movie.Actors.Count() >= MaxActors)
            break;
        if (XmlInteger(item.node(), "activity/@code") == ActivityActor)
            Movie.Actors.AddObject(XmlText(item.node(), "person/name"),
                                   XmlInteger(item.node(), "person/@code"));
    }

    Movie.ProductionYear = XmlText(document, "/movie/productionYear");
    std::string synopsis = XmlText(document, "/movie/synopsisShort");
    if (synopsis.empty())
        synopsis = XmlText(document, "/movie/synopsis");
    Movie.Synopsis = StripTags(synopsis);

    Movie.PosterUrl = XmlText(document, "/movie/poster/@href");
    Movie.PressRating = XmlNumber(document, "/movie/statistics/pressRating");
    Movie.UserRating = XmlNumber(document, "/movie/statistics/userRating");
    Movie.UserRatingCount = XmlInteger(document, "/movie/statistics/userRatingCount");
    // Not the first link: the XML answer lists other pages before the web one.
    Movie.WebUrl = XmlText(document, "/movie/linkList/link[@rel='aco:web']/@href");

    Movie.Genres.Clear();
    for (const pugi::xpath_node& genre : XmlSelect(document, "/movie/genreList/genre"))
        Movie.Genres.AddObject(XmlText(genre.node(), "."), XmlInteger(genre.node(), "@code"));
    Movie.Nationalities.Clear();
    for (const pugi::xpath_node& country : XmlSelect(document, "/movie/nationalityList/nationality"))
        Movie.Nationalities.AddObject(XmlText(country.node(), "."), XmlInteger(country.node(), "@code"));
}

bool TMetadata::ReadFicheTmdb(const std::string& Stream, TMovieInfo& Movie)
{
    return DDKTagged("[TMetadata.ReadFicheTmdb] ", [&] {
        if (!IsJsonStream(Stream)) {
            LoadXml(Stream);
            // Several movies: the first in document order counts, for every
            // field, so that one movie's backdrop never goes with another's id.
            const pugi::xml_node first =
                XmlSelect(FXmlModel, "/OpenSearchDescription/movies/movie").first().node();
            Movie.BackdropUrl = XmlText(first, "images/image[@type='backdrop'][@size='original']/@url");
            Movie.TmdbId = XmlInteger(first, "id");
            Movie.Translated = DDKStrToBool(XmlText(first, "translated"));
            return false;
        }
        const TJson root = JsonParse(Stream);
        const TJson& backdrop = JsonMember(root, "backdrop_path");
        if (!backdrop.is_null())
            Movie.BackdropUrl = Config.GetImageUrl("original", JsonText(root, "backdrop_path"));
        Movie.TmdbId = JsonInteger(root, "id");
        Movie.Translated = !JsonMember(root, "overview").is_null();
        return true;
    });
}

std::string TMetadata::StripTags(std::string_view S)
{
    // Plain tags only: a name of ASCII letters, digits, '_' and blanks. A tag
    // with attributes or quotes is left alone, and so are entities.
    static const TDDKRegExpr tag("</?([A-Za-z0-9_ ]+)/?>");
    return tag.ReplaceAll(S, [](const TDDKMatch& Match) { return StripTagsReplace(Match.Group(1)); });
}

std::string TMetadata::StripTagsReplace(std::string_view TagName)
{
    return DDKSameText(DDKTrim(TagName), "br") ? " " : "";
}
