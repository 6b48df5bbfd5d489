#include "UnitMetadata.h"

#include "DDKError.h"
#include "DDKStringList.h"
#include "DDKStrings.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TMovieInfo Part(const std::string& FileName, int CdNumber, const std::string& OtherCdFile,
                const std::string& Title = "Le Jardin oublié")
{
    TMovieInfo movie;
    movie.FileName = FileName;
    movie.CdNumber = CdNumber;
    movie.OtherCdFile = OtherCdFile;
    movie.Title = Title;
    return movie;
}

class PlaylistTest : public testing::Test
{
protected:
    // The playlist's file references joined by ", ".
    std::string References()
    {
        TDDKStringList list;
        Metadata.ReadAsxEntries(Asx, list);
        return DDKListToString(list, -1);
    }

    // The message of what CreateAsx raises for Movie, or "<none>".
    std::string CreateError(const TMovieInfo& Movie, const std::string& FileName)
    {
        try {
            Metadata.CreateAsx(FileName, Movie, false);
        } catch (const std::exception& error) {
            return error.what();
        }
        return "<none>";
    }

    TempFolder Folder;
    const std::string Asx = Folder / "movie.asx";
    const std::string Cd1 = "/films/Le Jardin oublié cd1.avi";
    const std::string Cd2 = "/films/Le Jardin oublié cd2.avi";
    TMetadata Metadata;
};

} // namespace

TEST_F(PlaylistTest, NewPlaylistBytes)
{
    Metadata.CreateAsx(Asx, Part("/films/Été & co.mkv", 0, "/films/Été & co.mkv"), false);
    EXPECT_EQ(ReadWholeFile(Asx), "\xEF\xBB\xBF"
                                  "<asx version=\"3.0\">\n"
                                  "  <param name=\"encoding\" value=\"UTF-8\" />\n"
                                  "  <entry>\n"
                                  "    <title>Le Jardin oublié</title>\n"
                                  "    <ref href=\"/films/Été &amp; co.mkv\" />\n"
                                  "  </entry>\n"
                                  "</asx>\n");
}

TEST_F(PlaylistTest, PartsEndInPartOrderWhicheverComesFirst)
{
    for (const bool partOneFirst : {true, false}) {
        SCOPED_TRACE(partOneFirst ? "part 1 first" : "part 2 first");
        const TMovieInfo one = Part(Cd1, 1, Cd2), two = Part(Cd2, 2, Cd1);
        Metadata.CreateAsx(Asx, partOneFirst ? one : two, true);
        Metadata.CreateAsx(Asx, partOneFirst ? two : one, false);
        EXPECT_EQ(References(), Cd1 + ", " + Cd2);
        // The param element stays first.
        EXPECT_NE(ReadWholeFile(Asx).find("<asx version=\"3.0\">\n  <param "), std::string::npos);
    }
}

TEST_F(PlaylistTest, KnownFileLeavesThePlaylistUntouched)
{
    Metadata.CreateAsx(Asx, Part("/films/Film.avi", 0, "/films/Film.avi"), false);
    const std::string before = ReadWholeFile(Asx);
    Metadata.CreateAsx(Asx, Part("/FILMS/film.AVI", 0, "/FILMS/film.AVI", "Autre"), false);
    EXPECT_EQ(ReadWholeFile(Asx), before);

    // Overwrite starts a new one-entry playlist whatever was there.
    Metadata.CreateAsx(Asx, Part(Cd1, 1, Cd2), true);
    Metadata.CreateAsx(Asx, Part(Cd2, 2, Cd1), false);
    Metadata.CreateAsx(Asx, Part("/films/Autre.avi", 0, "/films/Autre.avi"), true);
    EXPECT_EQ(References(), "/films/Autre.avi");
}

TEST_F(PlaylistTest, RefusedEntriesLeaveTheFileAndSayWhy)
{
    const std::string prefix = "[CreateAsx] [Erreur sur l'enregistrement du nom de fichier \"";
    const struct
    {
        std::string Existing; // playlist content before the call
        TMovieInfo Movie;
        std::string Reason;
    } cases[] = {
        {"<asx version=\"3.0\"><param name=\"encoding\" value=\"UTF-8\"/></asx>", Part(Cd1, 1, Cd2),
         "0 entry"},
        {"<asx><entry><title>x</title><ref href=\"/films/Autre.avi\"/></entry></asx>",
         Part("/films/Film.avi", 0, "/films/Film.avi"), "1CD and already 1 entry"},
        {"<asx><entry><ref href=\"/a cd1.avi\"/></entry><entry><ref href=\"/a cd2.avi\"/></entry></asx>",
         Part(Cd2, 2, Cd1), "CD2 and already 2 entry"},
        {"<asx><entry><ref href=\"/films/Autre cd1.avi\"/></entry></asx>", Part(Cd2, 2, Cd1),
         "CD2 and bad twin file for the existing entry"},
        {"<asx><entry><ref href=\"/a.avi\"/></entry>", Part(Cd2, 2, Cd1), "XML: "},
    };
    for (const auto& item : cases) {
        Folder.Write("movie.asx", item.Existing);
        const std::string message = CreateError(item.Movie, Asx);
        EXPECT_EQ(message.rfind(prefix + item.Movie.FileName + "\" dans le fichier ASX \"" + Asx + "\"] " +
                                    item.Reason,
                                0),
                  0u)
            << message;
        EXPECT_EQ(ReadWholeFile(Asx), item.Existing);
    }
}

TEST_F(PlaylistTest, ReadAndRenameEntries)
{
    Metadata.CreateAsx(Asx, Part(Cd1, 1, Cd2), false);
    Metadata.CreateAsx(Asx, Part(Cd2, 2, Cd1), false);

    TDDKStringList list;
    list.Add("déjà là");
    Metadata.ReadAsxEntries(Asx, list);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list[1], Cd1);
    EXPECT_EQ(list[2], Cd2);

    Metadata.RenameAsxEntry(Asx, "/FILMS/Le Jardin oublié CD2.avi", "/new/cd2.avi");
    EXPECT_EQ(References(), Cd1 + ", /new/cd2.avi");

    // No match: the file is still rewritten in our own form.
    Folder.Write("movie.asx", "<asx><entry><ref href=\"/a.avi\"/></entry></asx>");
    Metadata.RenameAsxEntry(Asx, "/b.avi", "/c.avi");
    EXPECT_EQ(ReadWholeFile(Asx),
              "\xEF\xBB\xBF<asx>\n  <entry>\n    <ref href=\"/a.avi\" />\n  </entry>\n</asx>\n");

    EXPECT_THROW(Metadata.ReadAsxEntries(Folder / "absent.asx", list), EDDKError);
    Folder.Write("bad.asx", "<asx>");
    EXPECT_THROW(Metadata.RenameAsxEntry(Folder / "bad.asx", "/a", "/b"), EDDKError);
    EXPECT_EQ(ReadWholeFile(Folder / "bad.asx"), "<asx>");
    // A save that fails (the folder is gone) is wrapped like the refusals.
    EXPECT_TRUE(
        CreateError(Part(Cd1, 1, Cd2), Folder / "gone/movie.asx").starts_with("[CreateAsx] [Erreur sur"));
}
