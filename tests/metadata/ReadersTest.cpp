#include "MetadataValues.h"
#include "UnitMetadata.h"

#include "DDKConversion.h"
#include "DDKStrings.h"
#include "TempFolder.h"
#include "UnitConfig.h"

#include <gtest/gtest.h>

#include <cstring>
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

std::string Names(const TDDKStringList& List)
{
    std::string names;
    for (const TDDKStringItem& item : List)
        names += item.String + ":" + std::to_string(item.Object) + ",";
    return names;
}

// The fields the AlloCine movie reader fills, on one line.
std::string Describe(const TMovieInfo& M)
{
    return DDKFormat("%d|%s|%s|%s|%d|%s|%s|%s|%s|%s|%d|%s|%s|%s|%s|%s", M.Code, M.Title.c_str(),
                     M.OriginalTitle.c_str(), DDKFloatToStr(M.ReleaseDate).c_str(), M.Runtime,
                     M.ProductionYear.c_str(), M.Synopsis.c_str(), M.PosterUrl.c_str(),
                     DDKFloatToStr(M.PressRating).c_str(), DDKFloatToStr(M.UserRating).c_str(),
                     M.UserRatingCount, M.WebUrl.c_str(), Names(M.Directors).c_str(), Names(M.Actors).c_str(),
                     Names(M.Genres).c_str(), Names(M.Nationalities).c_str());
}

// The fields the TMDb readers fill.
std::string DescribeTmdb(const TMovieInfo& M)
{
    return DDKFormat("%d|%d|%s|%s|%s|%s|%d;", M.Code, M.TmdbId, M.Title.c_str(), M.OriginalTitle.c_str(),
                     M.BackdropUrl.c_str(), DDKFloatToStr(M.ReleaseDate).c_str(), M.Translated);
}

std::string DescribeTmdb(const TMovieList& List)
{
    std::string text;
    for (int i = 0; i < List.Count(); ++i)
        text += DescribeTmdb(List.Items(i));
    return text;
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
    // Directors are the leading run of 8002 only, actors the first five 8001;
    // JSON takes the first link whatever it is, XML the aco:web one.
    const std::string common = "12345|Le Jardin oublié|The Lost Garden|26597|90|1972|Un grand film. Culte|"
                               "http://images.allocine.test/medias/nmedia/18/35/12345.jpg|3.5|4|1234|";
    const std::string names =
        "|Éric Rohmer:101,Agnès Varda:102,|Acteur Un:201,Acteur Deux:202,Acteur Trois:203,"
        "Actrice Quatre:204,Acteur Cinq:205,|Drame:13008,Comédie:13036,|"
        "France:5001,U.S.A.:5002,";
    TMovieInfo movie;
    EXPECT_TRUE(Metadata.ReadFicheAcFile(Answers + "allocine-movie-12345.json", movie));
    EXPECT_EQ(Describe(movie), common + "http://www.allocine.test/film/fichefilm-12345/photos/" + names);
    EXPECT_FALSE(Metadata.ReadFicheAc(Answer("allocine-movie-12345.xml"), movie));
    EXPECT_EQ(Describe(movie),
              common + "http://www.allocine.test/film/fichefilm_gen_cfilm=12345.html" + names);
}

TEST_F(ReadersTest, AlloCineMovieWithMissingParts)
{
    // JSON leaves untouched what its answer lacks; XML assigns empty values.
    // A director after an actor is not one of the leading run.
    const std::pair<std::string, std::string> forms[] = {
        {"allocine-movie-sparse.json",
         "54321||Sparse|5|0|0|Court &amp; <a href=\"x\">lien|old|1|1|7|old||Premier Acteur:401,||"},
        {"allocine-movie-sparse.xml", "54321||Sparse|0|0||||0|0|0|||Premier Acteur:401,||"},
    };
    for (const auto& [file, expected] : forms) {
        TMovieInfo movie;
        movie.Title = movie.PosterUrl = movie.WebUrl = "old";
        movie.PressRating = movie.UserRating = 1;
        movie.ReleaseDate = 5;
        movie.UserRatingCount = 7;
        movie.Runtime = 100;
        movie.Directors.Add("old");
        movie.Genres.Add("old");
        Metadata.ReadFicheAc(Answer(file), movie);
        EXPECT_EQ(Describe(movie), expected) << file;
    }
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
    // JSON joins the path to the base address and keeps the record's address
    // on null; an empty overview is translated, a null one not. XML takes the
    // address as given, from the first movie.
    TMovieInfo movie, nulls, fromXml;
    nulls.BackdropUrl = "kept";
    EXPECT_TRUE(Metadata.ReadFicheTmdb(Answer("tmdb-movie-19995.json"), movie));
    EXPECT_TRUE(Metadata.ReadFicheTmdb(Answer("tmdb-movie-nulls.json"), nulls));
    EXPECT_FALSE(Metadata.ReadFicheTmdb(Answer("tmdb-movie-19995.xml"), fromXml));
    EXPECT_EQ(DescribeTmdb(movie), "0|19995|||http://img.tmdb.test/t/p/original/abc.jpg|0|1;");
    EXPECT_EQ(DescribeTmdb(nulls), "0|550|||kept|0|0;");
    EXPECT_EQ(DescribeTmdb(fromXml), "0|19995|||http://img.tmdb.test/t/p/original/abc.jpg|0|1;");
}

TEST_F(ReadersTest, SearchesInBothForms)
{
    for (const char* file : {"allocine-search-avatar.json", "allocine-search-avatar.xml"}) {
        TMovieList list;
        list.Add(std::make_unique<TMovieInfo>()); // dropped by the read
        Metadata.ReadSearchAc(Answer(file), list);
        EXPECT_EQ(DescribeTmdb(list), "61282|0|Avatar|Avatar||0|0;"
                                      "178014|0|Avatar : la voie de l'eau|Avatar: The Way of Water||0|0;"
                                      "35201|0||Avatar||0|0;")
            << file;
    }
    // Code holds the TMDb id; only the XML form says whether it is translated.
    const std::string first = "19995|0|Avatar|Avatar|http://img.tmdb.test/t/p/original/xyz.jpg|40162|";
    const std::string second = "76600|0|Avatar : La Voie de l'eau|Avatar: The Way of Water||0|";
    TMovieList list;
    Metadata.ReadSearchTmdb(Answer("tmdb-search-avatar.json"), list);
    EXPECT_EQ(DescribeTmdb(list), first + "0;" + second + "0;111|0|Avatar 3|Avatar 3||46008|0;");
    Metadata.ReadSearchTmdb(Answer("tmdb-search-avatar.xml"), list);
    EXPECT_EQ(DescribeTmdb(list), first + "1;" + second + "0;");
    Metadata.ReadSearchAc(Answer("allocine-search-noresult.json"), list);
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(ReadersTest, FailuresCarryTheReadersTag)
{
    enum { FicheAc, FicheTmdb, SearchAc, SearchTmdb };
    const char* const tags[] = {"[TMetadata.ReadFicheAc] ", "[TMetadata.ReadFicheTmdb] ",
                                "[TMetadata.ReadSearchAc] ", "[TMetadata.ReadSearchTmdb] "};
    const std::string json = Answer("allocine-movie-12345.json");
    const std::pair<int, std::string> cases[] = {
        // A leading blank or byte-order mark makes it XML, which it is not.
        {FicheAc, " " + json},
        {FicheAc, "\xEF\xBB\xBF" + json},
        {FicheAc, ""},
        {FicheAc, "<movie><title>x</movie>"},
        {FicheAc, R"({"movie":{"title":null}})"},
        {FicheAc, R"({"movie":{"productionYear":"1972"}})"},
        {FicheAc, R"({"movie":{"castMember":[{"person":{"name":"x"}}]}})"}, // no activity
        {FicheAc, R"({"movie":{"castMember":{}}})"},
        {FicheAc, R"({"movie":{"code":1e20}})"},
        {FicheAc, R"({"movie":{"code":12)"},
        {FicheAc, R"({"movie":5})"},
        {FicheAc, "{\"movie\":{\"title\":\"\xC3\"}}"}, // not UTF-8
        {FicheTmdb, R"({"id":1,"overview":""})"},
        {FicheTmdb, R"({"id":1,"backdrop_path":null})"},
        {FicheTmdb, R"({"id":"1","backdrop_path":null,"overview":null})"},
        {SearchAc, R"({"movies":[]})"},
        {SearchAc, R"({"feed":{"movie":[{"code":"x"}]}})"},
        {SearchAc, "<feed>&bad;</feed"},
        {SearchTmdb, R"({"results":[{"id":1}]})"},
        {SearchTmdb, "[1,2]"},
    };
    for (const auto& [reader, answer] : cases) {
        TMovieInfo movie;
        TMovieList list;
        const std::string message = ErrorOf([&] {
            reader == FicheAc     ? (void)Metadata.ReadFicheAc(answer, movie)
            : reader == FicheTmdb ? (void)Metadata.ReadFicheTmdb(answer, movie)
            : reader == SearchAc  ? Metadata.ReadSearchAc(answer, list)
                                  : Metadata.ReadSearchTmdb(answer, list);
        });
        EXPECT_TRUE(message.starts_with(tags[reader]) && message.size() > strlen(tags[reader])) << message;
    }

    // The results before the bad one stay in the list.
    TMovieList list;
    const std::string answer = R"({"results":[{"id":1,"title":"A","backdrop_path":null,"release_date":""},)"
                               R"({"id":2,"title":"B","backdrop_path":null,"release_date":null}]})";
    EXPECT_NE(ErrorOf([&] { Metadata.ReadSearchTmdb(answer, list); }), "<none>");
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Items(0).Code, 1);

    // A file that cannot be read: the file layer's message, untagged.
    TMovieInfo movie;
    const std::string message = ErrorOf([&] { Metadata.ReadFicheAcFile(Answers + "absent.json", movie); });
    EXPECT_TRUE(message.starts_with("Unable to open the file")) << message;
}

TEST_F(ReadersTest, XmlNamesIgnoreCaseAndPrefixesMatchAsWritten)
{
    TMovieInfo movie;
    Metadata.ReadFicheAc(R"(<MOVIE Code="7"><Title>Grand</Title><LINKLIST><Link REL="aco:web" HREF="w"/>)"
                         "</LINKLIST></MOVIE>",
                         movie);
    EXPECT_EQ(movie.Code, 7);
    EXPECT_EQ(movie.Title, "Grand");
    EXPECT_EQ(movie.WebUrl, "w");

    pugi::xml_document document;
    ASSERT_TRUE(
        document.load_string("<r><opensearch:Query searchTerms='avatar'/><Query searchTerms='no'/></r>"));
    EXPECT_EQ(XmlText(document, "/R/OpenSearch:query/@SEARCHTERMS"), "avatar");
    EXPECT_EQ(XmlText(document, "/r/*[@searchTerms='AVATAR']/@searchTerms"), ""); // literals as written
}

TEST_F(ReadersTest, XmlEntitiesAreNeverExpandedAndEncodingsAreHonoured)
{
    TempFolder folder;
    const std::string secret = folder.Write("secret.txt", "secret");
    TMovieInfo movie;
    Metadata.ReadFicheAc(R"(<?xml version="1.0"?><!DOCTYPE movie [<!ENTITY x SYSTEM "file://)" + secret +
                             R"("><!ENTITY y "yy">]><movie><title>&x;&y;</title></movie>)",
                         movie);
    EXPECT_EQ(movie.Title.find("secret"), std::string::npos);
    EXPECT_EQ(movie.Title.find("yy"), std::string::npos);

    // Read as Latin-1; saved again, the declaration names what the bytes are.
    Metadata.ReadFicheAc(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><movie><title>\xE9t\xE9</title></movie>", movie);
    EXPECT_EQ(movie.Title, "été");
    Metadata.ReadFicheAc(
        "<?xml version='1.0' encoding='Windows-1252'?><movie><title>\x80\x9C\xE9</title></movie>", movie);
    EXPECT_EQ(movie.Title, "€œé");
    EXPECT_TRUE(Metadata.XmlBytes().starts_with("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
}

TEST_F(ReadersTest, LargeAnswer)
{
    // Several hundred kilobytes: a long synopsis and a very long cast.
    std::string answer =
        "{\"movie\":{\"synopsis\":\"" + std::string(300000, 'x') + "<br>y\",\"castMember\":[";
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
