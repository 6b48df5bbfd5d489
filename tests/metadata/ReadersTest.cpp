#include "MetadataTestHelpers.h"
#include "MetadataValues.h"
#include "UnitMetadata.h"

#include "DDKConversion.h"
#include "DDKStrings.h"
#include "TempFolder.h"
#include "UnitConfig.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string Answers = std::string(VANTRY_TEST_DATA) + "/answers/";

const auto Answer = [](const std::string& Name) { return ReadWholeFile(Answers + Name); };

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

// The fields the TMDb readers and the search readers fill.
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

} // namespace

TEST(Readers, AlloCineMovieInBothForms)
{
    TMetadata Metadata;
    // Directors are the leading run of 8002 only, actors the first five 8001;
    // JSON takes the first link whatever it is, XML the aco:web one. What the
    // answer lacks, JSON leaves untouched and XML empties.
    const std::string full = "12345|Le Jardin oublié|The Lost Garden|26597|90|1972|Un grand film. Culte|"
                             "http://images.allocine.test/medias/nmedia/18/35/12345.jpg|3.5|4|1234|";
    const std::string names =
        "|Éric Rohmer:101,Agnès Varda:102,|Acteur Un:201,Acteur Deux:202,Acteur Trois:203,"
        "Actrice Quatre:204,Acteur Cinq:205,|Drame:13008,Comédie:13036,|France:5001,U.S.A.:5002,";
    const std::pair<std::string, std::string> cases[] = {
        {"allocine-movie-12345.json", full + "http://www.allocine.test/film/fichefilm-12345/photos/" + names},
        {"allocine-movie-12345.xml",
         full + "http://www.allocine.test/film/fichefilm_gen_cfilm=12345.html" + names},
        {"allocine-movie-sparse.json",
         "54321||Sparse|5|0|0|Court &amp; <a href=\"x\">lien|old|1|1|7|old||Premier Acteur:401,||"},
        {"allocine-movie-sparse.xml", "54321||Sparse|0|0||||0|0|0|||Premier Acteur:401,||"},
    };
    for (const auto& [file, expected] : cases) {
        TMovieInfo movie;
        movie.Title = movie.PosterUrl = movie.WebUrl = "old";
        movie.PressRating = movie.UserRating = 1;
        movie.ReleaseDate = 5;
        movie.UserRatingCount = 7;
        movie.Runtime = 100;
        movie.Directors.Add("old");
        movie.Genres.Add("old");
        EXPECT_EQ(Metadata.ReadFicheAcFile(Answers + file, movie), file.ends_with(".json")) << file;
        EXPECT_EQ(Describe(movie), expected) << file;
    }

    // Beyond the fixtures: any case, blanks inside, names that are not tags.
    EXPECT_EQ(TMetadata::StripTags("a<BR>b</br>c< p >d<é>x<>y</ >"), "a b cd<é>x<>y");
}

TEST(Readers, TmdbMovieAndSearchesInBothForms)
{
    TMetadata Metadata;
    Config.ImageBaseUrl = "http://img.tmdb.test/t/p/";
    // JSON joins the path to the base address and keeps the record's address
    // on null; an empty overview is translated, a null one not. XML takes the
    // address as given, from the first movie.
    TMovieInfo movie, nulls, fromXml;
    nulls.BackdropUrl = "kept";
    EXPECT_TRUE(Metadata.ReadFicheTmdb(Answer("tmdb-movie-19995.json"), movie));
    EXPECT_TRUE(Metadata.ReadFicheTmdb(Answer("tmdb-movie-nulls.json"), nulls));
    EXPECT_FALSE(Metadata.ReadFicheTmdb(Answer("tmdb-movie-19995.xml"), fromXml));
    EXPECT_EQ(DescribeTmdb(movie) + DescribeTmdb(nulls) + DescribeTmdb(fromXml),
              "0|19995|||http://img.tmdb.test/t/p/original/abc.jpg|0|1;0|550|||kept|0|0;"
              "0|19995|||http://img.tmdb.test/t/p/original/abc.jpg|0|1;");
    // The first movie has no backdrop: the second one's must not stand in for it.
    fromXml.BackdropUrl = "old";
    Metadata.ReadFicheTmdb("<OpenSearchDescription><movies><movie><id>1</id></movie><movie><id>2</id><images>"
                           "<image type='backdrop' size='original' url='other'/></images><translated>yes"
                           "</translated></movie></movies></OpenSearchDescription>",
                           fromXml);
    EXPECT_EQ(DescribeTmdb(fromXml), "0|1||||0|0;");
    Metadata.ReadFicheTmdb("<OpenSearchDescription/>", fromXml);
    EXPECT_EQ(DescribeTmdb(fromXml), "0|0||||0|0;");

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

TEST(Readers, FailuresCarryTheReadersTag)
{
    TMetadata Metadata;
    enum { FicheAc, FicheTmdb, SearchAc, SearchTmdb };
    const std::string tags[] = {"[TMetadata.ReadFicheAc] ", "[TMetadata.ReadFicheTmdb] ",
                                "[TMetadata.ReadSearchAc] ", "[TMetadata.ReadSearchTmdb] "};
    const std::pair<int, std::string> cases[] = {
        // A leading blank makes it XML, which it is not.
        {FicheAc, " " + Answer("allocine-movie-12345.json")},
        {FicheAc, ""},
        {FicheAc, "<movie><title>x</movie>"},
        {FicheAc, R"({"movie":{"title":null}})"},
        {FicheAc, R"({"movie":{"castMember":[{"person":{"name":"x"}}]}})"}, // no activity
        {FicheAc, R"({"movie":{"code":1e20}})"},
        {FicheAc, R"({"movie":{"code":12)"},
        {FicheAc, "{\"movie\":{\"title\":\"\xC3\"}}"}, // not UTF-8
        {FicheTmdb, R"({"id":1,"overview":""})"},
        {SearchAc, R"({"feed":{"movie":[{"code":"x"}]}})"},
        {SearchAc, "<feed>&bad;</feed"},
        {SearchTmdb, "[1,2]"},
    };
    TMovieInfo movie;
    TMovieList list;
    for (const auto& [reader, answer] : cases) {
        const std::string message = ErrorOf([&] {
            reader == FicheAc     ? (void)Metadata.ReadFicheAc(answer, movie)
            : reader == FicheTmdb ? (void)Metadata.ReadFicheTmdb(answer, movie)
            : reader == SearchAc  ? Metadata.ReadSearchAc(answer, list)
                                  : Metadata.ReadSearchTmdb(answer, list);
        });
        EXPECT_TRUE(message.starts_with(tags[reader]) && message.size() > tags[reader].size()) << message;
    }

    // A file that cannot be read: the file layer's message, untagged.
    const std::string message = ErrorOf([&] { Metadata.ReadFicheAcFile(Answers + "absent.json", movie); });
    EXPECT_TRUE(message.starts_with("Unable to open the file")) << message;
}

TEST(Readers, XmlNamesEntitiesAndEncodings)
{
    TMetadata Metadata;
    TMovieInfo movie;
    Metadata.ReadFicheAc(R"(<MOVIE Code="7"><Title>Grand</Title><LINKLIST><Link REL="aco:web" HREF="w"/>)"
                         "</LINKLIST></MOVIE>",
                         movie);
    EXPECT_EQ(DDKFormat("%d|%s|%s", movie.Code, movie.Title.c_str(), movie.WebUrl.c_str()), "7|Grand|w");

    // No entity is expanded, least of all one that reads a local file.
    TempFolder folder;
    const std::string secret = folder.Write("secret.txt", "secret");
    Metadata.ReadFicheAc(R"(<?xml version="1.0"?><!DOCTYPE movie [<!ENTITY x SYSTEM "file://)" + secret +
                             R"("><!ENTITY y "yy">]><movie><title>&x;&y;</title></movie>)",
                         movie);
    EXPECT_EQ(movie.Title.find("secret"), std::string::npos);
    EXPECT_EQ(movie.Title.find("yy"), std::string::npos);

    // Read in the declared encoding, not as Latin-1; saved, the declaration says UTF-8.
    Metadata.ReadFicheAc(
        "<?xml version='1.0' encoding='Windows-1252'?><movie><title>\x80\x9C\xE9</title></movie>", movie);
    EXPECT_EQ(movie.Title, "€œé");
    EXPECT_TRUE(Metadata.XmlBytes().starts_with("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
}
