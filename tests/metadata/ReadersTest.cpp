#include "MetadataTestHelpers.h"
#include "UnitMetadata.h"

#include "DDKConversion.h"
#include "DDKStrings.h"
#include "TempFolder.h"
#include "UnitConfig.h"

#include <gtest/gtest.h>

namespace {

const auto Answer = [](std::string Name) { return ReadWholeFile(VANTRY_TEST_DATA "/answers/" + Name); };

// The fields the AlloCine movie reader fills, on one line.
std::string Describe(const TMovieInfo& M)
{
    const auto Names = [](const TDDKStringList& List) {
        std::string names;
        for (const TDDKStringItem& item : List)
            names += item.String + ":" + std::to_string(item.Object) + ",";
        return names;
    };
    return DDKFormat("%d|%s|%s|%s|%d|%s|%s|%s|%s|%s|%d|%s|%s|%s|%s|%s", M.Code, M.Title.c_str(),
                     M.OriginalTitle.c_str(), DDKFloatToStr(M.ReleaseDate).c_str(), M.Runtime,
                     M.ProductionYear.c_str(), M.Synopsis.c_str(), M.PosterUrl.c_str(),
                     DDKFloatToStr(M.PressRating).c_str(), DDKFloatToStr(M.UserRating).c_str(),
                     M.UserRatingCount, M.WebUrl.c_str(), Names(M.Directors).c_str(), Names(M.Actors).c_str(),
                     Names(M.Genres).c_str(), Names(M.Nationalities).c_str());
}

// The fields the TMDb readers and the search readers fill, for one movie or a list.
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

TEST(Readers, AlloCineMovieInBothFormsAndXmlEntitiesAndEncodings)
{
    TMetadata Metadata;
    // What the answer lacks, JSON leaves untouched and XML empties; a title
    // left out is the original title.
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
         "54321|Sparse|Sparse|1|0|0|Court &amp; <a href=\"x\">lien|old|1|1|7|old||Premier Acteur:401,||"},
        {"allocine-movie-sparse.xml", "54321|Sparse|Sparse|0|0||||0|0|0|||Premier Acteur:401,||"},
    };
    for (const auto& [file, expected] : cases) {
        TMovieInfo movie;
        movie.Title = movie.PosterUrl = movie.WebUrl = "old";
        movie.PressRating = movie.UserRating = movie.ReleaseDate = 1;
        movie.UserRatingCount = movie.Runtime = 7;
        movie.Directors.Add("old");
        movie.Genres.Add("old");
        EXPECT_EQ(Metadata.ReadFicheAc(Answer(file), movie), file.ends_with(".json")) << file;
        EXPECT_EQ(Describe(movie), expected) << file;
    }
    EXPECT_EQ(TMetadata::StripTags("a<BR>b</br>c< p >d<é>x<>y</ >"), "a b cd<é>x<>y");

    TMovieInfo movie;
    // No entity is expanded, least of all one that reads a local file.
    TempFolder folder;
    const std::string secret = folder.Write("secret.txt", "secret");
    Metadata.ReadFicheAc(R"(<?xml version="1.0"?><!DOCTYPE movie [<!ENTITY x SYSTEM "file://)" + secret +
                             R"("><!ENTITY y "yy">]><movie><title>&x;&y;</title></movie>)",
                         movie);
    EXPECT_EQ(movie.Title, "&x;&y;");

    // Read in the declared encoding; saved, the declaration says UTF-8.
    Metadata.ReadFicheAc(
        "<?xml version='1.0' encoding='Windows-1252'?><movie><title>\x80\x9C\xE9</title></movie>", movie);
    EXPECT_EQ(movie.Title, "€œé");
    EXPECT_TRUE(Metadata.XmlBytes().starts_with("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
}

TEST(Readers, TmdbMovieAndSearchesInBothForms)
{
    TMetadata Metadata;
    Config.ImageBaseUrl = "http://img.tmdb.test/t/p/";
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

    TMovieList list;
    for (const char* file : {"allocine-search-avatar.json", "allocine-search-avatar.xml"}) {
        list.Add(std::make_unique<TMovieInfo>());
        Metadata.ReadSearchAc(Answer(file), list);
        EXPECT_EQ(DescribeTmdb(list), "61282|0|Avatar|Avatar||0|0;"
                                      "178014|0|Avatar : la voie de l'eau|Avatar: The Way of Water||0|0;"
                                      "35201|0||Avatar||0|0;")
            << file;
    }
    const std::string first = "19995|0|Avatar|Avatar|http://img.tmdb.test/t/p/original/xyz.jpg|40162|";
    const std::string second = "76600|0|Avatar : La Voie de l'eau|Avatar: The Way of Water||0|";
    Metadata.ReadSearchTmdb(Answer("tmdb-search-avatar.json"), list);
    EXPECT_EQ(DescribeTmdb(list), first + "0;" + second + "0;111|0|Avatar 3|Avatar 3||46008|0;");
    Metadata.ReadSearchTmdb(Answer("tmdb-search-avatar.xml"), list);
    EXPECT_EQ(DescribeTmdb(list), first + "1;" + second + "0;");
}

TEST(Readers, SearchListsHoldTheResultsASearchCanReturnHoweverManyTheAnswerHolds)
{
    // Thirty results in each form; an odd one past those kept is never read.
    std::string AllocineJson, AllocineXml, TmdbJson, TmdbXml;
    for (int Code = 1; Code <= 30; ++Code) {
        const std::string Separator = Code > 1 ? "," : "";
        AllocineJson += Separator + (Code == 30 ? R"({"code":"x"})" : DDKFormat(R"({"code":%d})", Code));
        AllocineXml += DDKFormat("<movie code=\"%d\"/>", Code);
        TmdbJson += Separator + (Code == 30 ? R"({"id":null})" : DDKFormat(R"({"id":%d,"backdrop_path":null})", Code));
        TmdbXml += DDKFormat("<movie><id>%d</id></movie>", Code);
    }
    TMetadata Metadata;
    TMovieList List;
    const auto Codes = [&] {
        std::string Text;
        for (int Index = 0; Index < List.Count(); ++Index)
            Text += std::to_string(List.Items(Index).Code) + " ";
        return Text;
    };
    const std::string Ten = "1 2 3 4 5 6 7 8 9 10 ", Twenty = Ten + "11 12 13 14 15 16 17 18 19 20 ";
    Metadata.ReadSearchAc(R"({"feed":{"movie":[)" + AllocineJson + "]}}", List);
    EXPECT_EQ(Codes(), Ten);
    Metadata.ReadSearchAc("<feed>" + AllocineXml + "</feed>", List);
    EXPECT_EQ(Codes(), Ten);
    Metadata.ReadSearchTmdb(R"({"results":[)" + TmdbJson + "]}", List);
    EXPECT_EQ(Codes(), Twenty);
    Metadata.ReadSearchTmdb("<OpenSearchDescription><movies>" + TmdbXml + "</movies></OpenSearchDescription>",
                            List);
    EXPECT_EQ(Codes(), Twenty);
}

TEST(Readers, FailuresCarryTheReadersTag)
{
    TMetadata Metadata;
    TMovieInfo movie;
    TMovieList list;
    const auto fails = [](const std::string& reader, const std::function<void()>& read) {
        const std::string tag = "[TMetadata." + reader + "] ", message = ErrorOf(read);
        EXPECT_TRUE(message.starts_with(tag) && message.size() > tag.size()) << message;
    };
    for (const std::string& answer : {
             " " + Answer("allocine-movie-12345.json"), // a leading blank makes it XML
             std::string("<movie><title>x</movie>"), std::string(R"({"movie":{"title":null}})"),
             std::string(R"({"movie":{"castMember":[{"person":{"name":"x"}}]}})"), // no activity
             std::string(R"({"movie":{"code":1e20}})"),
             std::string("{\"movie\":{\"title\":\"\xC3\"}}"), // not UTF-8
         })
        fails("ReadFicheAc", [&] { Metadata.ReadFicheAc(answer, movie); });
    fails("ReadFicheTmdb", [&] { Metadata.ReadFicheTmdb(R"({"id":1,"overview":""})", movie); });
    fails("ReadSearchAc", [&] { Metadata.ReadSearchAc(R"({"feed":{"movie":[{"code":"x"}]}})", list); });
    fails("ReadSearchTmdb", [&] { Metadata.ReadSearchTmdb("[1,2]", list); });
}
