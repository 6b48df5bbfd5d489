// The library's playlist links: repair, removal of vanished movies and of
// nothing else, files out of reach, links to elsewhere, look-up by code.
#include "DDKStrings.h"
#include "MountPoints.h"
#include "QueueDispatcher.h"
#include "SynchRun.h"
#include "SynchScenario.h"
#include "UnitThread.h"

#include <gtest/gtest.h>

#include <map>

namespace {

namespace fs = std::filesystem;

struct LibraryLinksTest : ::testing::Test
{
    TempFolder Temp;
    TQueueDispatcher Dispatcher;
    TSynchThread Worker{Dispatcher};
    std::string Films = Temp.MakeFolder("Films");
    std::string Library = Temp.MakeFolder("Films/@Vantry");
    std::vector<std::string> Lines;

    LibraryLinksTest()
    {
        Worker.OnLog = [this](const std::string& Line) { Lines.push_back(Line); };
    }

    // A movie folder of ours: its playlist and its cached answer.
    std::string MovieFolder(const std::string& Name, std::initializer_list<std::string> Files,
                            const std::string& Root = "Films/@Vantry")
    {
        Temp.Write(Root + "/" + Name + "/movie.asx", Playlist(Files));
        Temp.Write(Root + "/" + Name + "/allocine.json", "{\"movie\":{\"code\":1,\"title\":\"T\"}}");
        return Temp / (Root + "/" + Name);
    }

    void ReadAndCheck(const std::string& Folder)
    {
        Worker.SetFolder(Folder);
        Worker.ScanAsxFiles();
        Worker.CheckLinks();
    }
};

TEST_F(LibraryLinksTest, VanishedMoviesTakeTheirFolderAndNothingOutsideIt)
{
    const std::string Kept = Temp.Write("Films/kept.avi"), Part1 = Temp.Write("Films/duo cd1.avi");
    const std::string Gone = MovieFolder("Gone (1999) #1", {Films + "/gone.avi"});
    Temp.Write("Films/@Vantry/Gone (1999) #1/folder.jpg", "jpg");
    const std::string GoneToo = MovieFolder("Gone Too #2", {Films + "/gone too.avi"}); // met right after
    // The second part vanished: the shared folder goes, the first part's link stays.
    const std::string Duo = MovieFolder("Duo #3", {Part1, Films + "/duo cd2.avi"});
    const std::string KeptFolder = MovieFolder("Kept #4", {Kept});
    // Playlists in the library itself, deeper in a movie folder, and behind a
    // link to a folder outside: their movies are gone, yet only the links go.
    Temp.Write("Films/@Vantry/stray.asx", Playlist({Films + "/lost1.avi"}));
    const std::string Deep = MovieFolder("Deep #5/extras", {Films + "/lost2.avi"});
    const std::string Outside = MovieFolder("Elsewhere", {Films + "/lost3.avi"}, ".") + "/movie.asx";
    fs::create_directory_symlink(Temp.Path() / "Elsewhere", Library + "/Linked #6"); // filled as ours

    ReadAndCheck(Films);

    for (const std::string& Removed : {Gone, GoneToo, Duo})
        EXPECT_FALSE(fs::exists(Removed)) << Removed;
    EXPECT_EQ(Worker.LinkedFiles().Strings(), (std::vector<std::string>{Part1, Kept}));
    EXPECT_EQ(Worker.LinkAsx()[1], KeptFolder + "/movie.asx");
    for (const std::string& Left :
         {Library + "/stray.asx", Deep + "/movie.asx", Outside, Library + "/Linked #6"})
        EXPECT_TRUE(fs::exists(Left)) << Left;
}

TEST_F(LibraryLinksTest, ALibraryLinkedElsewhereLosesOnlyMovieFoldersOfOurs)
{
    // "@Vantry" leads to the user's documents, where a playlist names a file
    // that is gone: only a folder named and filled as ours may go.
    const std::string Documents = Temp.MakeFolder("Documents");
    fs::create_directory_symlink(Documents, Temp.MakeFolder("Disc") + "/@Vantry");
    const std::string Work = Temp.Write("Documents/Work/movie.asx", Playlist({Temp / "Disc/lost1.avi"}));
    Temp.Write("Documents/Work/report.odt", "report");
    const std::string Notes =
        Temp.Write("Documents/Notes #12/movie.asx", Playlist({Temp / "Disc/lost2.avi"}));
    const std::string Ours = MovieFolder("Film (2001) #3", {Temp / "Disc/lost3.avi"}, "Documents");

    ReadAndCheck(Temp / "Disc");

    EXPECT_EQ(ReadWholeFile(Documents + "/Work/report.odt"), "report");
    EXPECT_TRUE(fs::exists(Work));
    EXPECT_TRUE(fs::exists(Notes)); // no cached answer: not ours
    EXPECT_FALSE(fs::exists(Ours));
    EXPECT_EQ(Lines, std::vector<std::string>{});
}

TEST_F(LibraryLinksTest, AFileOutOfReachForTheMomentKeepsItsFolderAndSaysWhy)
{
    // A volume that is not mounted leaves its empty mount point, or a link
    // from the movie folder to it that leads nowhere.
    Temp.MakeFolder("media/usb");
    fs::create_directory_symlink(Temp / "media/disc2/Films", Films + "/Disc2");
    const std::string OnUsb = MovieFolder("Usb #1", {Temp / "media/usb/Films/x.avi"});
    const std::string OnDisc2 = MovieFolder("Disc2 #2", {Films + "/Disc2/y.avi"});
    // A two-part movie whose first part is out of reach and whose second is
    // gone: its folder, and what the user put in it, wait for the first.
    const std::string Duo =
        MovieFolder("Duo #3", {Temp / "media/usb/Films/duo cd1.avi", Films + "/duo cd2.avi"});
    Temp.Write("Films/@Vantry/Duo #3/notes.txt", "mine");

    ReadAndCheck(Films);

    EXPECT_TRUE(fs::exists(OnUsb + "/allocine.json"));
    EXPECT_TRUE(fs::exists(OnDisc2 + "/allocine.json"));
    EXPECT_TRUE(fs::exists(Duo + "/allocine.json"));
    EXPECT_EQ(ReadWholeFile(Duo + "/notes.txt"), "mine");
    EXPECT_EQ(Worker.LinkedFiles().Count(), 3);
    ASSERT_EQ(Lines.size(), 3u);
    const char* Reason =
        "\"%s\" /ERROR #%d > [TSynchThread.CheckLinks] Fichier inaccessible pour le moment (";
    EXPECT_TRUE(Lines[0].starts_with(DDKFormat(Reason, (Films + "/Disc2/y.avi").c_str(), 2))) << Lines[0];
    EXPECT_TRUE(Lines[1].starts_with(DDKFormat(Reason, (Temp / "media/usb/Films/duo cd1.avi").c_str(), 3)))
        << Lines[1];
    EXPECT_TRUE(Lines[2].starts_with(DDKFormat(Reason, (Temp / "media/usb/Films/x.avi").c_str(), 1)))
        << Lines[2];
}

TEST_F(LibraryLinksTest, AMovieOnAVolumeMountedElsewhereIsFollowed)
{
    // The disc once mounted on disk1, no longer mounted, now sits on disk2.
    const std::string Disk1 = Temp / "media/disk1", Disk2 = Temp / "media/disk2";
    const std::string Movie = Temp.Write("media/disk2/Films/x.avi");
    const std::string Asx =
        MovieFolder("X #8", {Disk1 + "/Films/x.avi"}, "media/disk2/Films/@Vantry") + "/movie.asx";
    MovieFolder("Y #9", {Disk1 + "/Films/y.avi"}, "media/disk2/Films/@Vantry");
    Worker.ReadMountTable = [&] { return std::vector<std::string>{"/", Disk2}; };
    ReadAndCheck(Disk2 + "/Films");

    EXPECT_EQ(Worker.LinkedFiles().Strings(), std::vector<std::string>{Movie});
    EXPECT_EQ(PlaylistEntries(Asx), std::vector<std::string>{Movie});
    EXPECT_FALSE(fs::exists(Disk2 + "/Films/@Vantry/Y #9")); // nothing to follow there
}

TEST(LibraryLinks, LinksInTheLibraryAreNeitherTrustedNorWrittenThrough)
{
    // A linked movie folder, a linked cached answer and a linked playlist,
    // each leading to the user's own files.
    TSynchScenario Scenario;
    Scenario.CreateMovieFiles();
    Scenario.ScriptServices();
    TempFolder& Temp = Scenario.Temp;
    Temp.Write("user/folder/allocine.json", ReadWholeFile(AnswerData("allocine-movie-12345.json")));
    Temp.Write("user/folder/movie.asx",
               Playlist({Scenario.Movie("Le Jardin oublie 1972 DVDRip XviD FRENCH.avi")}));
    Temp.Write("user/answer.json", ReadWholeFile(SynchData("allocine-movie-2001.json")));
    Temp.Write("user/list.asx", Playlist({Scenario.Movie("Divers/amelie nino #3003.mkv")}));
    Temp.Write("Films/@Vantry/" + AlienDir + "/movie.asx",
               Playlist({Scenario.Movie("Alien [CD1].avi"), Scenario.Movie("Alien [CD2].avi")}));
    Temp.Write("Films/@Vantry/" + AmelieDir + "/allocine.json",
               ReadWholeFile(SynchData("allocine-movie-3003.json")));
    fs::create_directory_symlink(Temp / "user/folder", Scenario.Library(JardinDir));
    fs::create_symlink(Temp / "user/answer.json", Scenario.Library(AlienDir) + "/allocine.json");
    fs::create_symlink(Temp / "user/list.asx", Scenario.Library(AmelieDir) + "/movie.asx");
    const auto UserFiles = [&Temp] {
        std::map<std::string, std::string> Files;
        for (const auto& Entry : fs::recursive_directory_iterator(Temp / "user"))
            Files[Entry.path().string()] =
                Entry.is_regular_file() ? ReadWholeFile(Entry.path().string()) : "";
        return Files;
    };
    const auto Before = UserFiles();

    const std::vector<std::string> Lines = RunSynchronisation(Scenario.MovieDir(), true);

    EXPECT_EQ(UserFiles(), Before);
    for (const std::string& Link : {JardinDir, AlienDir + "/allocine.json", AmelieDir + "/movie.asx"})
        EXPECT_TRUE(fs::is_symlink(Scenario.Library(Link))) << Link;
    // Each of the four movie files is refused with its reason.
    EXPECT_EQ(CountHolding(Lines, "est un lien"), 4) << ::testing::PrintToString(Lines);
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

TEST_F(LibraryLinksTest, AFolderGivenRelativeFindsItsLinksAsAnAbsoluteOneDoes)
{
    MovieFolder("A (2001) #1", {Films + "/a.avi"});
    Temp.Write("Films/a.avi");
    Temp.MakeFolder("other");
    const fs::path Before = fs::current_path();
    fs::current_path(Temp.Path());
    for (const char* Folder : {"Films", "./Films/", "other/../Films", "Films/@Vantry"}) {
        ReadAndCheck(Folder);
        EXPECT_EQ(Worker.RootDir(), Films) << Folder;
        EXPECT_EQ(Worker.LibraryDir(), Library) << Folder;
        TMovieInfo Movie;
        EXPECT_TRUE(Worker.GoodFileName(Worker.RootDir() + "/a.avi", Movie)) << Folder;
    }
    fs::current_path(Before);
}

TEST_F(LibraryLinksTest, AFileIsLookedUpByItsOwnFirstLinkElseByTheFirstWhateverTheCaseOfAToZ)
{
    // Enough links for the look-up to grow several times; each file's first
    // link leads to a folder whose answer carries the link's number.
    Worker.SetFolder(Films);
    const auto Folder = [this](int Number) {
        const std::string Name = "Film " + std::to_string(Number) + " #" + std::to_string(Number);
        Temp.Write("Films/@Vantry/" + Name + "/allocine.json",
                   "{\"movie\":{\"code\":" + std::to_string(Number) + ",\"title\":\"T\"}}");
        return Library + "/" + Name + "/movie.asx";
    };
    for (int Number = 1; Number <= 300; ++Number)
        Worker.AddLink(Films + "/Été " + std::to_string(Number) + ".avi", Folder(Number));
    for (int Number = 1; Number <= 300; ++Number) { // second links of the same files lead elsewhere
        Worker.AddLink(Films + "/Été " + std::to_string(Number) + ".AVI", Folder(1000 + Number));
        Worker.AddLink(Films + "/ÉTÉ " + std::to_string(Number) + ".avi", Folder(2000 + Number));
    }
    for (int Number = 1; Number <= 300; Number += 7) {
        TMovieInfo Movie;
        ASSERT_TRUE(Worker.GoodFileName(Films + "/Été " + std::to_string(Number) + ".AvI", Movie)) << Number;
        EXPECT_EQ(Movie.Code, Number);
        EXPECT_EQ(Movie.MovieDir + "/movie.asx", Folder(Number));
        // A name with a link of its own is another file: its link wins.
        ASSERT_TRUE(Worker.GoodFileName(Films + "/Été " + std::to_string(Number) + ".AVI", Movie)) << Number;
        EXPECT_EQ(Movie.Code, 1000 + Number);
        // Only A-Z fold: "été" is another file than "Été", found by its own link.
        ASSERT_TRUE(Worker.GoodFileName(Films + "/ÉTÉ " + std::to_string(Number) + ".avi", Movie)) << Number;
        EXPECT_EQ(Movie.Code, 2000 + Number);
        EXPECT_FALSE(Worker.GoodFileName(Films + "/été " + std::to_string(Number) + ".avi", Movie)) << Number;
    }
    EXPECT_EQ(Worker.LinkedFiles().Count(), 900);
}

} // namespace
