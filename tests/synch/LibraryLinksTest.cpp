// The library's playlist links: reading them, repairing a moved movie file,
// dropping a vanished one with its movie folder (and nothing else), and the
// look-ups of a file's link and of a code's movie folder.
#include "DDKFiles.h"
#include "MountPoints.h"
#include "QueueDispatcher.h"
#include "TempFolder.h"
#include "UnitThread.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

namespace fs = std::filesystem;

std::string Playlist(std::initializer_list<std::string> Files)
{
    std::string xml = "<asx version=\"3.0\"><param name=\"encoding\" value=\"UTF-8\"/>";
    for (const std::string& file : Files)
        xml += "<entry><title>T</title><ref href=\"" + file + "\"/></entry>";
    return xml + "</asx>";
}

// A cached AlloCine answer that gives the record the code Code.
std::string CachedAnswer(int Code)
{
    return "{\"movie\":{\"code\":" + std::to_string(Code) + ",\"title\":\"Titre\"}}";
}

struct LibraryLinksTest : ::testing::Test
{
    TempFolder Temp;
    TQueueDispatcher Dispatcher;
    std::unique_ptr<TSynchThread> Worker = std::make_unique<TSynchThread>(Dispatcher);
    std::string Films = Temp.MakeFolder("Films");
    std::string Library = Temp.MakeFolder("Films/@Vantry");

    // A movie folder of the library with its playlist (and cached answer).
    std::string MovieFolder(const std::string& Name, std::initializer_list<std::string> Files, int Code = 0)
    {
        Temp.Write("Films/@Vantry/" + Name + "/movie.asx", Playlist(Files));
        if (Code > 0)
            Temp.Write("Films/@Vantry/" + Name + "/allocine.json", CachedAnswer(Code));
        return Library + "/" + Name;
    }

    void ReadAndCheck(const std::string& Folder)
    {
        Worker->SetFolder(Folder);
        Worker->ScanAsxFiles();
        Worker->CheckLinks();
    }
};

TEST_F(LibraryLinksTest, VanishedMoviesTakeTheirFolderAlongAndTheNextLinkIsExamined)
{
    const std::string kept = Temp.Write("Films/kept.avi");
    const std::string part1 = Temp.Write("Films/duo cd1.avi");
    const std::string goneFolder = MovieFolder("Gone (1999) #1", {Films + "/gone.avi"}, 1);
    MovieFolder("Gone Too #2", {Films + "/gone too.avi"}, 2);
    const std::string duoFolder = MovieFolder("Duo #3", {part1, Films + "/duo cd2.avi"}, 3);
    const std::string keptFolder = MovieFolder("Kept #4", {kept}, 4);
    Temp.Write("Films/@Vantry/Gone (1999) #1/folder.jpg", "jpg");

    ReadAndCheck(Films);

    EXPECT_FALSE(fs::exists(goneFolder));
    EXPECT_FALSE(fs::exists(Library + "/Gone Too #2"));
    // The second part vanished: the shared folder goes, the first part's link stays.
    EXPECT_FALSE(fs::exists(duoFolder));
    EXPECT_TRUE(fs::exists(keptFolder));
    ASSERT_EQ(Worker->LinkedFiles().Count(), 2);
    EXPECT_EQ(Worker->LinkedFiles()[0], part1);
    EXPECT_EQ(Worker->LinkedFiles()[1], kept);
    EXPECT_EQ(Worker->LinkAsx()[1], keptFolder + "/movie.asx");

    TMovieInfo movie;
    EXPECT_FALSE(Worker->GoodFileName(part1, movie)); // its cached answer went with the folder
    EXPECT_TRUE(Worker->GoodFileName(kept, movie));
    EXPECT_EQ(movie.Code, 4);
    EXPECT_EQ(movie.MovieDir, keptFolder);
}

TEST_F(LibraryLinksTest, RemovalNeverReachesOutsideAMovieFolder)
{
    // A playlist lying in the library itself, one deeper inside a movie
    // folder, and one reached through a link to a folder outside: their
    // movies are gone, yet nothing but the links may go.
    Temp.Write("Films/@Vantry/stray.asx", Playlist({Films + "/lost1.avi"}));
    const std::string deep = MovieFolder("Deep #5/extras", {Films + "/lost2.avi"});
    const std::string outside = Temp.Write("Elsewhere/movie.asx", Playlist({Films + "/lost3.avi"}));
    Temp.Write("Elsewhere/precious.txt", "keep me");
    fs::create_directory_symlink(Temp.Path() / "Elsewhere", Library + "/Linked #6");
    const std::string other = MovieFolder("Other #7", {Films + "/lost4.avi"});

    ReadAndCheck(Films);

    EXPECT_EQ(Worker->LinkedFiles().Count(), 0);
    EXPECT_TRUE(fs::exists(Library + "/stray.asx"));
    EXPECT_TRUE(fs::exists(deep + "/movie.asx"));
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_EQ(ReadWholeFile(Temp / "Elsewhere/precious.txt"), "keep me");
    EXPECT_FALSE(fs::exists(other)); // an ordinary movie folder still goes
    EXPECT_TRUE(fs::is_directory(Library));
}

TEST_F(LibraryLinksTest, AMovieOnAVolumeMountedElsewhereIsFollowed)
{
    // The disc that held the movie folder was mounted on disk1, which is no
    // longer mounted; it now sits on disk2.
    const std::string disk1 = Temp / "media/disk1";
    const std::string disk2 = Temp / "media/disk2";
    const std::string movie = Temp.Write("media/disk2/Films/x.avi");
    const std::string folderX = disk2 + "/Films/@Vantry/X #8";
    Temp.Write("media/disk2/Films/@Vantry/X #8/movie.asx", Playlist({disk1 + "/Films/x.avi"}));
    Temp.Write("media/disk2/Films/@Vantry/Y #9/movie.asx", Playlist({disk1 + "/Films/y.avi"}));
    Worker->ReadMountTable = [&] { return std::vector<std::string>{"/", disk2}; };
    ReadAndCheck(disk2 + "/Films");

    ASSERT_EQ(Worker->LinkedFiles().Count(), 1);
    EXPECT_EQ(Worker->LinkedFiles()[0], movie);
    TDDKStringList entries;
    TMetadata().ReadAsxEntries(folderX + "/movie.asx", entries);
    ASSERT_EQ(entries.Count(), 1);
    EXPECT_EQ(entries[0], movie);
    EXPECT_FALSE(fs::exists(disk2 + "/Films/@Vantry/Y #9")); // nothing to follow there
}

TEST(MountPrefixTest, FindsTheVolumeAPathLiesOrLayOn)
{
    const std::vector<std::string> table{"/", "/media/usb", "/media/usb/inner", "/mnt/data/"};
    struct Case
    {
        const char* Path;
        const char* Reference;
        const char* Prefix;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"/media/usb/Films/x.avi", "/", "/media/usb"},
             {"/media/usbkey/x.avi", "/", "/"},                      // a mount point is a whole component
             {"/mnt/data/x.avi", "/", "/mnt/data"},                  // trailing separator in the table
             {"/media/old/Films/x.avi", "/media/usb", "/media/old"}, // unmounted, beside the reference
             {"/home/me/x.avi", "/media/usb", "/"},                  // unmounted elsewhere: the root
             {"/elsewhere/x.avi", "/data", "/elsewhere"},            // volumes mounted at the top
         }) {
        SCOPED_TRACE(c.Path);
        EXPECT_EQ(MountPrefix(c.Path, table, c.Reference), c.Prefix);
    }
    // The real table always holds the root.
    const std::vector<std::string> real = ReadMountPoints();
    EXPECT_NE(std::find(real.begin(), real.end(), "/"), real.end());
}

TEST_F(LibraryLinksTest, AFileFindsItsFirstLinkWhateverItsLetterCase)
{
    const std::string movie = Temp.Write("Films/Le Film.avi");
    MovieFolder("A #10", {movie}, 10);
    MovieFolder("B #11", {Films + "/le film.AVI"}, 11);
    ReadAndCheck(Films);

    TMovieInfo found;
    ASSERT_TRUE(Worker->GoodFileName(Films + "/LE FILM.avi", found));
    EXPECT_EQ(found.Code, 10);
    EXPECT_FALSE(Worker->GoodFileName(Films + "/other.avi", found));

    // A cached answer stored under another letter case is found as stored.
    const std::string other = Temp.Write("Films/other.mkv");
    Temp.Write("Films/@Vantry/C #12/ALLOCINE.Json", CachedAnswer(12));
    Worker->AddLink(other, Library + "/C #12/movie.asx");
    ASSERT_TRUE(Worker->GoodFileName(other, found));
    EXPECT_EQ(found.Code, 12);
}

TEST_F(LibraryLinksTest, FindsTheOneFolderEndingWithACode)
{
    Temp.MakeFolder("Films/@Vantry/Titre (2001) #123");
    Temp.MakeFolder("Films/@Vantry/Autre #1234");
    Temp.MakeFolder("Films/@Vantry/Encore #23");
    Temp.MakeFolder("Films/@Vantry/Double #77");
    Temp.MakeFolder("Films/@Vantry/Doublé #77");
    Temp.MakeFolder("Films/@Vantry/.Cachée #55");
    Temp.Write("Films/@Vantry/Fichier #56");
    Worker->SetFolder(Films);

    EXPECT_EQ(Worker->FindMovieFolder(123), Library + "/Titre (2001) #123");
    EXPECT_EQ(Worker->FindMovieFolder(1234), Library + "/Autre #1234");
    EXPECT_EQ(Worker->FindMovieFolder(77), "");
    EXPECT_EQ(Worker->FindMovieFolder(55), "");
    EXPECT_EQ(Worker->FindMovieFolder(56), "");
    EXPECT_EQ(Worker->FindMovieFolder(9), "");

    // Folders made after the first look-up, by this worker or anyone else,
    // count as they would in a fresh listing.
    Temp.MakeFolder("Films/@Vantry/Neuf #9");
    Worker->AddLink(Films + "/neuf.avi", Library + "/Neuf #9/movie.asx");
    EXPECT_EQ(Worker->FindMovieFolder(9), Library + "/Neuf #9");
    Temp.MakeFolder("Films/@Vantry/Second #9");
    EXPECT_EQ(Worker->FindMovieFolder(9), "");
    fs::remove(Library + "/Titre (2001) #123");
    EXPECT_EQ(Worker->FindMovieFolder(123), "");
}

} // namespace
