// The library's playlist links: repairing a moved movie file, dropping a
// vanished one with its movie folder (and nothing else), and the look-ups of a
// file's link and of a code's movie folder.
#include "MountPoints.h"
#include "QueueDispatcher.h"
#include "TempFolder.h"
#include "UnitThread.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

std::string Playlist(std::initializer_list<std::string> Files)
{
    std::string Xml = "<asx version=\"3.0\"><param name=\"encoding\" value=\"UTF-8\"/>";
    for (const std::string& File : Files)
        Xml += "<entry><title>T</title><ref href=\"" + File + "\"/></entry>";
    return Xml + "</asx>";
}

struct LibraryLinksTest : ::testing::Test
{
    TempFolder Temp;
    TQueueDispatcher Dispatcher;
    TSynchThread Worker{Dispatcher};
    std::string Films = Temp.MakeFolder("Films");
    std::string Library = Temp.MakeFolder("Films/@Vantry");

    // A movie folder of the library with its playlist, and a cached AlloCine
    // answer giving its record the code Code.
    std::string MovieFolder(const std::string& Name, std::initializer_list<std::string> Files, int Code = 0)
    {
        Temp.Write("Films/@Vantry/" + Name + "/movie.asx", Playlist(Files));
        if (Code > 0)
            Temp.Write("Films/@Vantry/" + Name + "/allocine.json",
                       "{\"movie\":{\"code\":" + std::to_string(Code) + ",\"title\":\"Titre\"}}");
        return Library + "/" + Name;
    }

    void ReadAndCheck(const std::string& Folder)
    {
        Worker.SetFolder(Folder);
        Worker.ScanAsxFiles();
        Worker.CheckLinks();
    }
};

TEST_F(LibraryLinksTest, VanishedMoviesTakeTheirFolderAlongAndTheNextLinkIsExamined)
{
    const std::string Kept = Temp.Write("Films/kept.avi");
    const std::string Part1 = Temp.Write("Films/duo cd1.avi");
    const std::string GoneFolder = MovieFolder("Gone (1999) #1", {Films + "/gone.avi"}, 1);
    const std::string GoneTooFolder = MovieFolder("Gone Too #2", {Films + "/gone too.avi"}, 2);
    const std::string DuoFolder = MovieFolder("Duo #3", {Part1, Films + "/duo cd2.avi"}, 3);
    const std::string KeptFolder = MovieFolder("Kept #4", {Kept}, 4);
    Temp.Write("Films/@Vantry/Gone (1999) #1/folder.jpg", "jpg");

    ReadAndCheck(Films);

    EXPECT_FALSE(fs::exists(GoneFolder));
    EXPECT_FALSE(fs::exists(GoneTooFolder));
    // The second part vanished: the shared folder goes, the first part's link stays.
    EXPECT_FALSE(fs::exists(DuoFolder));
    ASSERT_EQ(Worker.LinkedFiles().Count(), 2);
    EXPECT_EQ(Worker.LinkedFiles()[0], Part1);
    EXPECT_EQ(Worker.LinkedFiles()[1], Kept);
    EXPECT_EQ(Worker.LinkAsx()[1], KeptFolder + "/movie.asx");

    TMovieInfo Movie;
    EXPECT_FALSE(Worker.GoodFileName(Part1, Movie)); // its cached answer went with the folder
    EXPECT_TRUE(Worker.GoodFileName(Kept, Movie));
    EXPECT_EQ(Movie.Code, 4);
    EXPECT_EQ(Movie.MovieDir, KeptFolder);
}

TEST_F(LibraryLinksTest, RemovalNeverReachesOutsideAMovieFolder)
{
    // A playlist lying in the library itself, one deeper inside a movie
    // folder, and one reached through a link to a folder outside: their
    // movies are gone, yet nothing but the links may go.
    Temp.Write("Films/@Vantry/stray.asx", Playlist({Films + "/lost1.avi"}));
    const std::string Deep = MovieFolder("Deep #5/extras", {Films + "/lost2.avi"});
    const std::string Outside = Temp.Write("Elsewhere/movie.asx", Playlist({Films + "/lost3.avi"}));
    fs::create_directory_symlink(Temp.Path() / "Elsewhere", Library + "/Linked #6");
    const std::string Other = MovieFolder("Other #7", {Films + "/lost4.avi"});

    ReadAndCheck(Films);

    EXPECT_EQ(Worker.LinkedFiles().Count(), 0);
    EXPECT_TRUE(fs::exists(Library + "/stray.asx"));
    EXPECT_TRUE(fs::exists(Deep + "/movie.asx"));
    EXPECT_TRUE(fs::exists(Outside));
    EXPECT_FALSE(fs::exists(Other)); // an ordinary movie folder still goes
}

TEST_F(LibraryLinksTest, AMovieOnAVolumeMountedElsewhereIsFollowed)
{
    // The disc that held the movie folder was mounted on disk1, which is no
    // longer mounted; it now sits on disk2.
    const std::string Disk1 = Temp / "media/disk1", Disk2 = Temp / "media/disk2";
    const std::string Movie = Temp.Write("media/disk2/Films/x.avi");
    const std::string Asx =
        Temp.Write("media/disk2/Films/@Vantry/X #8/movie.asx", Playlist({Disk1 + "/Films/x.avi"}));
    Temp.Write("media/disk2/Films/@Vantry/Y #9/movie.asx", Playlist({Disk1 + "/Films/y.avi"}));
    Worker.ReadMountTable = [&] { return std::vector<std::string>{"/", Disk2}; };
    ReadAndCheck(Disk2 + "/Films");

    ASSERT_EQ(Worker.LinkedFiles().Count(), 1);
    EXPECT_EQ(Worker.LinkedFiles()[0], Movie);
    TDDKStringList Entries;
    TMetadata().ReadAsxEntries(Asx, Entries);
    ASSERT_EQ(Entries.Count(), 1);
    EXPECT_EQ(Entries[0], Movie);
    EXPECT_FALSE(fs::exists(Disk2 + "/Films/@Vantry/Y #9")); // nothing to follow there
}

TEST(MountPrefixTest, FindsTheVolumeAPathLiesOrLayOn)
{
    const std::vector<std::string> Table{"/", "/media/usb", "/media/usb/inner", "/mnt/data/"};
    for (const auto& [Path, Reference, Prefix] : std::vector<std::array<std::string, 3>>{
             {"/media/usb/Films/x.avi", "/", "/media/usb"},
             {"/media/usbkey/x.avi", "/", "/"},                      // a mount point is a whole component
             {"/mnt/data/x.avi", "/", "/mnt/data"},                  // trailing separator in the table
             {"/media/old/Films/x.avi", "/media/usb", "/media/old"}, // unmounted, beside the reference
             {"/home/me/x.avi", "/media/usb", "/"},                  // unmounted elsewhere: the root
             {"/elsewhere/x.avi", "/data", "/elsewhere"},            // volumes mounted at the top
         })
        EXPECT_EQ(MountPrefix(Path, Table, Reference), Prefix) << Path;
}

TEST_F(LibraryLinksTest, LookUpsIgnoreLetterCaseAndNeedOneFolderPerCode)
{
    const std::string Movie = Temp.Write("Films/Le Film.avi");
    MovieFolder("A #10", {Movie}, 10);
    MovieFolder("B #11", {Films + "/le film.AVI"}, 11);
    Temp.Write("Films/@Vantry/C #12/ALLOCINE.Json", "{\"movie\":{\"code\":12,\"title\":\"Titre\"}}");
    ReadAndCheck(Films);
    TMovieInfo Found;
    ASSERT_TRUE(Worker.GoodFileName(Films + "/LE FILM.avi", Found)); // the first link
    EXPECT_EQ(Found.Code, 10);
    EXPECT_FALSE(Worker.GoodFileName(Films + "/other.mkv", Found));
    Worker.AddLink(Films + "/other.mkv", Library + "/C #12/movie.asx");
    ASSERT_TRUE(Worker.GoodFileName(Films + "/other.mkv", Found));
    EXPECT_EQ(Found.Code, 12);

    Temp.MakeFolder("Films/@Vantry/Titre (2001) #123");
    Temp.MakeFolder("Films/@Vantry/Autre #1234");
    Temp.MakeFolder("Films/@Vantry/Double #77");
    Temp.MakeFolder("Films/@Vantry/Doublé #77");
    Temp.MakeFolder("Films/@Vantry/.Cachée #55");
    Temp.Write("Films/@Vantry/Fichier #56");
    EXPECT_EQ(Worker.FindMovieFolder(123), Library + "/Titre (2001) #123");
    EXPECT_EQ(Worker.FindMovieFolder(1234), Library + "/Autre #1234");
    for (const int Code : {23, 77, 55, 56, 9})
        EXPECT_EQ(Worker.FindMovieFolder(Code), "") << Code;
    // Folders made after the first look-up, by this worker or anyone else,
    // count as in a fresh listing.
    Temp.MakeFolder("Films/@Vantry/Neuf #9");
    Worker.AddLink(Films + "/neuf.avi", Library + "/Neuf #9/movie.asx");
    EXPECT_EQ(Worker.FindMovieFolder(9), Library + "/Neuf #9");
    // Even within one tick of a coarse file clock (the time put back).
    const auto Tick = fs::last_write_time(Library);
    Temp.MakeFolder("Films/@Vantry/Second #9");
    fs::last_write_time(Library, Tick);
    EXPECT_EQ(Worker.FindMovieFolder(9), "");
    fs::remove(Library + "/Titre (2001) #123");
    fs::last_write_time(Library, Tick);
    EXPECT_EQ(Worker.FindMovieFolder(123), "");
}

} // namespace
