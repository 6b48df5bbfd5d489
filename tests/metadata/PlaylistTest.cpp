#include "MetadataTestHelpers.h"
#include "UnitMetadata.h"

#include "DDKError.h"
#include "DDKStringList.h"
#include "DDKStrings.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

namespace {

TMovieInfo Part(const std::string& FileName, int CdNumber, const std::string& OtherCdFile)
{
    TMovieInfo movie;
    movie.FileName = FileName;
    movie.CdNumber = CdNumber;
    movie.OtherCdFile = OtherCdFile;
    movie.Title = "Le Jardin oublié";
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

    TempFolder Folder;
    const std::string Asx = Folder / "movie.asx";
    const std::string Cd1 = "/films/Le Jardin oublié cd1.avi", Cd2 = "/films/Le Jardin oublié cd2.avi";
    TMetadata Metadata;
};

} // namespace

TEST_F(PlaylistTest, BytesAndPartOrderWhicheverPartComesFirst)
{
    Metadata.CreateAsx(Asx, Part("/films/Été & co.mkv", 0, "/films/Été & co.mkv"), false);
    EXPECT_EQ(ReadWholeFile(Asx), "\xEF\xBB\xBF<asx version=\"3.0\">\n"
                                  "  <param name=\"encoding\" value=\"UTF-8\" />\n"
                                  "  <entry>\n"
                                  "    <title>Le Jardin oublié</title>\n"
                                  "    <ref href=\"/films/Été &amp; co.mkv\" />\n"
                                  "  </entry>\n"
                                  "</asx>\n");
    // A file already listed, whatever its case, changes nothing.
    const std::string before = ReadWholeFile(Asx);
    Metadata.CreateAsx(Asx, Part("/FILMS/Été & CO.MKV", 0, "/FILMS/Été & CO.MKV"), false);
    EXPECT_EQ(ReadWholeFile(Asx), before);

    for (const bool partOneFirst : {true, false}) {
        const TMovieInfo one = Part(Cd1, 1, Cd2), two = Part(Cd2, 2, Cd1);
        Metadata.CreateAsx(Asx, partOneFirst ? one : two, true);
        Metadata.CreateAsx(Asx, partOneFirst ? two : one, false);
        EXPECT_EQ(References(), Cd1 + ", " + Cd2) << partOneFirst;
        EXPECT_NE(ReadWholeFile(Asx).find("<asx version=\"3.0\">\n  <param "), std::string::npos)
            << partOneFirst;
    }
}

TEST_F(PlaylistTest, RefusedEntriesLeaveTheFileAndSayWhy)
{
    // The playlist before the entry is added, the entry and the reason given.
    const std::tuple<std::string, TMovieInfo, std::string> cases[] = {
        {"<asx version=\"3.0\"><param name=\"encoding\" value=\"UTF-8\"/></asx>", Part(Cd2, 2, Cd1),
         "0 entry"},
        {"<asx><entry><ref href=\"/films/Autre.avi\"/></entry></asx>",
         Part("/films/Film.avi", 0, "/films/Film.avi"), "1CD and already 1 entry"},
        {"<asx><entry><ref href=\"/a cd1.avi\"/></entry><entry><ref href=\"/a cd2.avi\"/></entry></asx>",
         Part(Cd2, 2, Cd1), "CD2 and already 2 entry"},
        {"<asx><entry><ref href=\"/films/Autre cd1.avi\"/></entry></asx>", Part(Cd2, 2, Cd1),
         "CD2 and bad twin file for the existing entry"},
        {"<asx><entry><ref href=\"/a.avi\"/></entry>", Part(Cd2, 2, Cd1), "XML: "},
    };
    for (const auto& [existing, movie, reason] : cases) {
        Folder.Write("movie.asx", existing);
        const std::string message = ErrorOf([&] { Metadata.CreateAsx(Asx, movie, false); });
        EXPECT_TRUE(message.starts_with("[CreateAsx] [Erreur sur l'enregistrement du nom de fichier \"" +
                                        movie.FileName + "\" dans le fichier ASX \"" + Asx + "\"] " + reason))
            << message;
        EXPECT_EQ(ReadWholeFile(Asx), existing);
    }
    // A save that fails (the folder is gone) is wrapped like the refusals.
    EXPECT_TRUE(ErrorOf([&] {
                    Metadata.CreateAsx(Folder / "gone/movie.asx", Part(Cd1, 1, Cd2), false);
                }).starts_with("[CreateAsx] [Erreur sur"));
}

TEST_F(PlaylistTest, RenameEntry)
{
    Metadata.CreateAsx(Asx, Part(Cd1, 1, Cd2), false);
    Metadata.CreateAsx(Asx, Part(Cd2, 2, Cd1), false);
    Metadata.RenameAsxEntry(Asx, "/FILMS/Le Jardin oublié CD2.avi", "/new/cd2.avi");
    EXPECT_EQ(References(), Cd1 + ", /new/cd2.avi");

    Folder.Write("bad.asx", "<asx>");
    EXPECT_THROW(Metadata.RenameAsxEntry(Folder / "bad.asx", "/a", "/b"), EDDKError);
    EXPECT_EQ(ReadWholeFile(Folder / "bad.asx"), "<asx>");
}
