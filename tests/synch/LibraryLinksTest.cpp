// The library's playlist links: repair, removal of vanished movies, look-up by code.
#include "MountPoints.h"
#include "QueueDispatcher.h"
#include "SynchScenario.h"
#include "UnitThread.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

struct LibraryLinksTest : ::testing::Test
{
    TempFolder Temp;
    TQueueDispatcher Dispatcher;
    TSynchThread Worker{Dispatcher};
    std::string Films = Temp.MakeFolder("Films");
    std::string Library = Temp.MakeFolder("Films/@Vantry");

    std::string MovieFolder(const std::string& Name, std::initializer_list<std::string> Files)
    {
        Temp.Write("Films/@Vantry/" + Name + "/movie.asx", Playlist(Files));
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
    const std::string GoneFolder = MovieFolder("Gone (1999) #1", {Films + "/gone.avi"});
    const std::string GoneTooFolder = MovieFolder("Gone Too #2", {Films + "/gone too.avi"});
    const std::string DuoFolder = MovieFolder("Duo #3", {Part1, Films + "/duo cd2.avi"});
    const std::string KeptFolder = MovieFolder("Kept #4", {Kept});
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
}

TEST_F(LibraryLinksTest, RemovalNeverReachesOutsideAMovieFolder)
{
    // Playlists in the library itself, deeper in a movie folder, and behind a
    // link to a folder outside: their movies are gone, yet only the links go.
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
    // The disc once mounted on disk1, no longer mounted, now sits on disk2.
    const std::string Disk1 = Temp / "media/disk1", Disk2 = Temp / "media/disk2";
    const std::string Movie = Temp.Write("media/disk2/Films/x.avi");
    const std::string Asx =
        Temp.Write("media/disk2/Films/@Vantry/X #8/movie.asx", Playlist({Disk1 + "/Films/x.avi"}));
    Temp.Write("media/disk2/Films/@Vantry/Y #9/movie.asx", Playlist({Disk1 + "/Films/y.avi"}));
    Worker.ReadMountTable = [&] { return std::vector<std::string>{"/", Disk2}; };
    ReadAndCheck(Disk2 + "/Films");

    ASSERT_EQ(Worker.LinkedFiles().Count(), 1);
    EXPECT_EQ(Worker.LinkedFiles()[0], Movie);
    EXPECT_EQ(PlaylistEntries(Asx), std::vector<std::string>{Movie});
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

TEST_F(LibraryLinksTest, ALookUpByCodeNeedsExactlyOneFolderInAFreshListing)
{
    Worker.SetFolder(Films);
    for (const char* Name : {"Titre (2001) #123", "Autre #1234", "Double #77", "Doublé #77", ".Cachée #55"})
        Temp.MakeFolder("Films/@Vantry/" + std::string(Name));
    Temp.Write("Films/@Vantry/Fichier #56");
    EXPECT_EQ(Worker.FindMovieFolder(123), Library + "/Titre (2001) #123");
    EXPECT_EQ(Worker.FindMovieFolder(1234), Library + "/Autre #1234");
    for (const int Code : {23, 77, 55, 56, 9})
        EXPECT_EQ(Worker.FindMovieFolder(Code), "") << Code;
    // Folders made after the first look-up count, by this worker or anyone else,
    // even within one tick of a coarse file clock (the time put back).
    Temp.MakeFolder("Films/@Vantry/Neuf #9");
    Worker.AddLink(Films + "/neuf.avi", Library + "/Neuf #9/movie.asx");
    EXPECT_EQ(Worker.FindMovieFolder(9), Library + "/Neuf #9");
    const auto Tick = fs::last_write_time(Library);
    Temp.MakeFolder("Films/@Vantry/Second #9");
    fs::last_write_time(Library, Tick);
    EXPECT_EQ(Worker.FindMovieFolder(9), "");
    fs::remove(Library + "/Titre (2001) #123");
    fs::last_write_time(Library, Tick);
    EXPECT_EQ(Worker.FindMovieFolder(123), "");
}

} // namespace
