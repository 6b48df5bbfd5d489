#include "MetadataValues.h"
#include "UnitMetadata.h"

#include "DDKConversion.h"
#include "TempFolder.h"
#include "UnitConfig.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const std::string Answers = std::string(VANTRY_TEST_DATA) + "/answers/";

std::string Answer(const std::string& Name)
{
    const std::string bytes = ReadWholeFile(Answers + Name);
    EXPECT_NE(bytes, "<missing>") << Name;
    return bytes;
}

std::vector<std::pair<std::string, std::int64_t>> Entries(const TDDKStringList& List)
{
    std::vector<std::pair<std::string, std::int64_t>> entries;
    for (const TDDKStringItem& item : List)
        entries.emplace_back(item.String, item.Object);
    return entries;
}

// The message of what Call raises, or "<none>".
std::string ErrorOf(const std::function<void()>& Call)
{
    try {
        Call();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "<none>";
}

class ReadersTest : public testing::Test
{
protected:
    void SetUp() override { Config.ImageBaseUrl = "http://img.tmdb.test/t/p/"; }

    TMetadata Metadata;
};

} // namespace

TEST_F(ReadersTest, AlloCineMovieInBothForms)
{
    const std::vector<std::pair<std::string, bool>> forms = {{"allocine-movie-12345.json", true},
                                                             {"allocine-movie-12345.xml", false}};
    for (const auto& [file, isJson] : forms) {
        SCOPED_TRACE(file);
        TMovieInfo movie;
        EXPECT_EQ(Metadata.ReadFicheAc(Answer(file), movie), isJson);
        EXPECT_EQ(movie.Code, 12345);
        EXPECT_EQ(movie.Title, "Le Jardin oublié");
        EXPECT_EQ(movie.OriginalTitle, "The Lost Garden");
        EXPECT_EQ(movie.ReleaseDate, DDKEncodeDate(1972, 10, 25));
        EXPECT_EQ(movie.Runtime, 90); // 5459 s
        EXPECT_EQ(movie.ProductionYear, "1972");
        EXPECT_EQ(movie.Synopsis, "Un grand film. Culte");
        EXPECT_EQ(movie.PosterUrl, "http://images.allocine.test/medias/nmedia/18/35/12345.jpg");
        EXPECT_EQ(movie.PressRating, 3.5);
        EXPECT_EQ(movie.UserRating, 4.0);
        EXPECT_EQ(movie.UserRatingCount, 1234);
        // JSON takes the first link whatever it is; XML the aco:web one.
        EXPECT_EQ(movie.WebUrl, isJson ? "http://www.allocine.test/film/fichefilm-12345/photos/"
                                       : "http://www.allocine.test/film/fichefilm_gen_cfilm=12345.html");
        using E = std::vector<std::pair<std::string, std::int64_t>>;
        EXPECT_EQ(Entries(movie.Directors), (E{{"Éric Rohmer", 101}, {"Agnès Varda", 102}}));
        EXPECT_EQ(Entries(movie.Actors), (E{{"Acteur Un", 201},
                                            {"Acteur Deux", 202},
                                            {"Acteur Trois", 203},
                                            {"Actrice Quatre", 204},
                                            {"Acteur Cinq", 205}}));
        EXPECT_EQ(Entries(movie.Genres), (E{{"Drame", 13008}, {"Comédie", 13036}}));
        EXPECT_EQ(Entries(movie.Nationalities), (E{{"France", 5001}, {"U.S.A.", 5002}}));
    }
}

TEST_F(ReadersTest, AlloCineMovieWithMissingParts)
{
    // JSON leaves untouched what its answer lacks; XML assigns empty values.
    for (const bool isJson : {true, false}) {
        SCOPED_TRACE(isJson ? "json" : "xml");
        TMovieInfo movie;
        movie.Title = "old";
        movie.ReleaseDate = 5;
        movie.PosterUrl = movie.WebUrl = "old";
        movie.PressRating = movie.UserRating = 1;
        movie.UserRatingCount = 7;
        movie.Runtime = 100;
        movie.Directors.Add("old");
        movie.Genres.Add("old");
        Metadata.ReadFicheAc(Answer(isJson ? "allocine-movie-sparse.json" : "allocine-movie-sparse.xml"),
                             movie);

        EXPECT_EQ(movie.Code, 54321);
        EXPECT_EQ(movie.Title, "");
        EXPECT_EQ(movie.OriginalTitle, "Sparse");
        EXPECT_EQ(movie.Runtime, 0);
        EXPECT_EQ(movie.ProductionYear, isJson ? "0" : "");
        EXPECT_EQ(movie.ReleaseDate, isJson ? 5 : 0);
        EXPECT_EQ(movie.PosterUrl, isJson ? "old" : "");
        EXPECT_EQ(movie.WebUrl, isJson ? "old" : "");
        EXPECT_EQ(movie.PressRating, isJson ? 1 : 0);
        EXPECT_EQ(movie.UserRatingCount, isJson ? 7 : 0);
        // A director after an actor is not one of the leading run.
        EXPECT_EQ(movie.Directors.Count(), 0);
        ASSERT_EQ(movie.Actors.Count(), 1);
        EXPECT_EQ(movie.Actors[0], "Premier Acteur");
        EXPECT_EQ(movie.Genres.Count(), 0);
    }
}

TEST_F(ReadersTest, SynopsisPrefersTheShortOneAndKeepsEntitiesAndLinks)
{
    TMovieInfo movie;
    Metadata.ReadFicheAc(Answer("allocine-movie-sparse.json"), movie);
    EXPECT_EQ(movie.Synopsis, "Court &amp; <a href=\"x\">lien");
}

TEST_F(ReadersTest, StripTags)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a<br>b<BR/>c<br />d</br>e", "a b c d e"},
        {"<b>gras</b> <i>x</i><p>y< p >z", "gras xyz"},
        {"<a href=\"u\">l</a> <br clear=\"all\"> &eacute;", "<a href=\"u\">l <br clear=\"all\"> &eacute;"},
        {"<é>x<>y</ >", "<é>x<>y"},
        {"  deux  blancs  ", "  deux  blancs  "},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(TMetadata::StripTags(input), expected) << input;
}

TEST_F(ReadersTest, TmdbMovieInBothForms)
{
    TMovieInfo movie;
    EXPECT_TRUE(Metadata.ReadFicheTmdb(Answer("tmdb-movie-19995.json"), movie));
    EXPECT_EQ(movie.BackdropUrl, "http://img.tmdb.test/t/p/original/abc.jpg");
    EXPECT_EQ(movie.TmdbId, 19995);
    EXPECT_TRUE(movie.Translated); // an empty overview still counts

    TMovieInfo nulls;
    nulls.BackdropUrl = "kept";
    nulls.Translated = true;
    EXPECT_TRUE(Metadata.ReadFicheTmdb(Answer("tmdb-movie-nulls.json"), nulls));
    EXPECT_EQ(nulls.BackdropUrl, "kept");
    EXPECT_EQ(nulls.TmdbId, 550);
    EXPECT_FALSE(nulls.Translated);

    // XML: the address as given, from the first movie of the answer.
    TMovieInfo fromXml;
    EXPECT_FALSE(Metadata.ReadFicheTmdb(Answer("tmdb-movie-19995.xml"), fromXml));
    EXPECT_EQ(fromXml.BackdropUrl, "http://img.tmdb.test/t/p/original/abc.jpg");
    EXPECT_EQ(fromXml.TmdbId, 19995);
    EXPECT_TRUE(fromXml.Translated);
}

TEST_F(ReadersTest, AlloCineSearchInBothForms)
{
    for (const char* file : {"allocine-search-avatar.json", "allocine-search-avatar.xml"}) {
        SCOPED_TRACE(file);
        TMovieList list;
        list.Add(std::make_unique<TMovieInfo>()); // dropped by the read
        Metadata.ReadSearchAc(Answer(file), list);
        ASSERT_EQ(list.Count(), 3);
        EXPECT_EQ(list.Items(0).Code, 61282);
        EXPECT_EQ(list.Items(0).Title, "Avatar");
        EXPECT_EQ(list.Items(1).Code, 178014);
        EXPECT_EQ(list.Items(1).Title, "Avatar : la voie de l'eau");
        EXPECT_EQ(list.Items(1).OriginalTitle, "Avatar: The Way of Water");
        EXPECT_EQ(list.Items(2).Title, "");
        EXPECT_EQ(list.Items(2).OriginalTitle, "Avatar");
        EXPECT_EQ(list.Items(0).PosterUrl, ""); // only the three fields are read
    }
    TMovieList none;
    Metadata.ReadSearchAc(Answer("allocine-search-noresult.json"), none);
    EXPECT_EQ(none.Count(), 0);
}

TEST_F(ReadersTest, TmdbSearchInBothForms)
{
    TMovieList list;
    Metadata.ReadSearchTmdb(Answer("tmdb-search-avatar.json"), list);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(0).Code, 19995);
    EXPECT_EQ(list.Items(0).TmdbId, 0);
    EXPECT_EQ(list.Items(0).BackdropUrl, "http://img.tmdb.test/t/p/original/xyz.jpg");
    EXPECT_EQ(list.Items(0).ReleaseDate, DDKEncodeDate(2009, 12, 15));
    EXPECT_FALSE(list.Items(0).Translated);
    EXPECT_EQ(list.Items(1).BackdropUrl, "");
    EXPECT_EQ(list.Items(1).ReleaseDate, 0);
    EXPECT_EQ(list.Items(1).OriginalTitle, "Avatar: The Way of Water");

    Metadata.ReadSearchTmdb(Answer("tmdb-search-avatar.xml"), list);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(0).Code, 19995);
    EXPECT_EQ(list.Items(0).Title, "Avatar");
    EXPECT_EQ(list.Items(0).BackdropUrl, "http://img.tmdb.test/t/p/original/xyz.jpg");
    EXPECT_EQ(list.Items(0).ReleaseDate, DDKEncodeDate(2009, 12, 15));
    EXPECT_TRUE(list.Items(0).Translated);
    EXPECT_EQ(list.Items(1).Title, "Avatar : La Voie de l'eau");
    EXPECT_FALSE(list.Items(1).Translated);

    Metadata.ReadSearchTmdb(Answer("tmdb-search-empty.json"), list);
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(ReadersTest, FailuresCarryTheReadersTag)
{
    TMovieInfo movie;
    TMovieList list;
    const auto ficheAc = [&](std::string S) { return [&, S] { Metadata.ReadFicheAc(S, movie); }; };
    const auto ficheTmdb = [&](std::string S) { return [&, S] { Metadata.ReadFicheTmdb(S, movie); }; };
    const auto searchAc = [&](std::string S) { return [&, S] { Metadata.ReadSearchAc(S, list); }; };
    const auto searchTmdb = [&](std::string S) { return [&, S] { Metadata.ReadSearchTmdb(S, list); }; };
    const std::string ac = "[TMetadata.ReadFicheAc] ";
    const std::string tmdb = "[TMetadata.ReadFicheTmdb] ";
    const std::string search = "[TMetadata.ReadSearchAc] ";
    const std::string searchT = "[TMetadata.ReadSearchTmdb] ";
    const struct
    {
        std::function<void()> Call;
        std::string Prefix;
    } cases[] = {
        // A leading blank or byte-order mark makes it XML, which it is not.
        {ficheAc(" " + Answer("allocine-movie-12345.json")), ac + "XML: "},
        {ficheAc("\xEF\xBB\xBF" + Answer("allocine-movie-12345.json")), ac + "XML: "},
        {ficheAc(""), ac + "XML: "},
        {ficheAc("<movie><title>x</movie>"), ac + "XML: "},
        {ficheAc("{\"movie\":{\"title\":null}}"), ac},
        {ficheAc("{\"movie\":{\"productionYear\":\"1972\"}}"), ac},
        {ficheAc("{\"movie\":{\"castMember\":[{\"person\":{\"name\":\"x\"}}]}}"), ac},
        {ficheAc("{\"movie\":{\"code\":1e20}}"), ac},
        {ficheAc("{\"movie\":{\"code\":12"), ac},
        {ficheAc("{\"film\":{}}"), ac},
        {ficheAc("{\"movie\":5}"), ac},
        {ficheAc("{\"movie\":{\"castMember\":{}}}"), ac},
        {ficheAc("{\"movie\":{\"title\":\"\xC3\"}}"), ac}, // invalid UTF-8
        {ficheTmdb("{\"id\":1,\"overview\":\"\"}"), tmdb},
        {ficheTmdb("{\"id\":1,\"backdrop_path\":null}"), tmdb},
        {ficheTmdb("{\"id\":\"1\",\"backdrop_path\":null,\"overview\":null}"), tmdb},
        {ficheTmdb("<OpenSearchDescription>"), tmdb + "XML: "},
        {searchAc("{\"movies\":[]}"), search},
        {searchAc("{\"feed\":{\"movie\":[{\"code\":\"x\"}]}}"), search},
        {searchAc("<feed>&bad;</feed"), search + "XML: "},
        {searchTmdb("{\"results\":[{\"id\":1}]}"), searchT},
        {searchTmdb("[1,2]"), searchT},
    };
    for (const auto& item : cases) {
        const std::string message = ErrorOf(item.Call);
        EXPECT_EQ(message.rfind(item.Prefix, 0), 0u) << &item - cases << ": " << message;
        EXPECT_GT(message.size(), item.Prefix.size()) << message;
    }
}

TEST_F(ReadersTest, FailedSearchKeepsTheResultsBeforeTheBadOne)
{
    TMovieList list;
    const std::string answer =
        "{\"results\":["
        "{\"id\":1,\"title\":\"A\",\"backdrop_path\":null,\"release_date\":\"2001-01-01\"},"
        "{\"id\":2,\"title\":\"B\",\"backdrop_path\":null,\"release_date\":null}]}";
    EXPECT_NE(ErrorOf([&] { Metadata.ReadSearchTmdb(answer, list); }), "<none>");
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Items(0).Code, 1);
}

TEST_F(ReadersTest, XmlNamesIgnoreCaseAndPrefixesMatchAsWritten)
{
    TMovieInfo movie;
    Metadata.ReadFicheAc("<MOVIE Code=\"7\"><Title>Grand</Title><LINKLIST><Link REL=\"aco:web\" HREF=\"w\"/>"
                         "</LINKLIST></MOVIE>",
                         movie);
    EXPECT_EQ(movie.Code, 7);
    EXPECT_EQ(movie.Title, "Grand");
    EXPECT_EQ(movie.WebUrl, "w");

    pugi::xml_document document;
    ASSERT_TRUE(
        document.load_string("<r><opensearch:Query searchTerms='avatar'/><Query searchTerms='no'/></r>"));
    EXPECT_EQ(XmlText(document, "/R/OpenSearch:query/@SEARCHTERMS"), "avatar");
    // Literals are compared as written.
    EXPECT_EQ(XmlText(document, "/r/*[@searchTerms='AVATAR']/@searchTerms"), "");
}

TEST_F(ReadersTest, XmlEntitiesAreNeverExpanded)
{
    TempFolder folder;
    const std::string secret = folder.Write("secret.txt", "secret");
    TMovieInfo movie;
    Metadata.ReadFicheAc("<?xml version=\"1.0\"?><!DOCTYPE movie [<!ENTITY x SYSTEM \"file://" + secret +
                             "\"><!ENTITY y \"yy\">]><movie><title>&x;&y;</title></movie>",
                         movie);
    EXPECT_EQ(movie.Title.find("secret"), std::string::npos);
    EXPECT_EQ(movie.Title.find("yy"), std::string::npos);
}

TEST_F(ReadersTest, DeclaredEncodingIsReadAndTheSavedFormSaysUtf8)
{
    TMovieInfo movie;
    Metadata.ReadFicheAc(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><movie><title>\xE9t\xE9</title></movie>", movie);
    EXPECT_EQ(movie.Title, "été");
    EXPECT_EQ(Metadata.XmlBytes().substr(0, 41), "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
}

TEST_F(ReadersTest, LargeAnswer)
{
    // Several hundred kilobytes: a long synopsis and a very long cast.
    std::string answer =
        "{\"movie\":{\"code\":1,\"synopsis\":\"" + std::string(300000, 'x') + "<br>y\",\"castMember\":[";
    for (int i = 0; i < 5000; ++i)
        answer += (i ? "," : "") + std::string("{\"person\":{\"code\":") + std::to_string(i) +
                  ",\"name\":\"Nom\"},\"activity\":{\"code\":" + (i < 3 ? "8002" : "8001") + "}}";
    answer += "]}}";
    TMovieInfo movie;
    Metadata.ReadFicheAc(answer, movie);
    EXPECT_EQ(movie.Synopsis.size(), 300002u);
    EXPECT_EQ(movie.Directors.Count(), 3);
    ASSERT_EQ(movie.Actors.Count(), 5);
    EXPECT_EQ(movie.Actors.Objects(4), 7);
}

TEST_F(ReadersTest, ReadFicheAcFile)
{
    TMovieInfo movie;
    EXPECT_TRUE(Metadata.ReadFicheAcFile(Answers + "allocine-movie-12345.json", movie));
    EXPECT_EQ(movie.Code, 12345);
    // The file layer's message arrives untagged.
    const std::string message = ErrorOf([&] { Metadata.ReadFicheAcFile(Answers + "absent.json", movie); });
    EXPECT_EQ(message.rfind("Unable to open the file", 0), 0u) << message;
}
