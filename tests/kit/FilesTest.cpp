#include "DDKError.h"
#include "DDKFiles.h"

#include "TempFolder.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(Files, PathText)
{
    EXPECT_EQ(DDKExtractFilePath("/films/a.b/Alien"), "/films/a.b/");
    EXPECT_EQ(DDKExtractFileName("/films/Alien.avi"), "Alien.avi");
    EXPECT_EQ(DDKExtractFileExt("/films/a.b/Alien"), "");
    EXPECT_EQ(DDKChangeFileExt("Alien.tar.gz", ".nfo"), "Alien.tar.nfo");
    EXPECT_EQ(DDKExcludeTrailingPathDelimiter("/"), "/");
}

TEST(Files, ClearPath)
{
    const struct
    {
        const char *Path, *Replace;
        bool IsFileName;
        const char* Expected;
    } cases[] = {
        {"Alien: le 8ème passager?", "", true, "Alien le 8ème passager"},
        {"AC/DC back\\slash", "", true, "ACDC backslash"},
        {"  dots kept. ", "", true, "dots kept."},
        {"a\tb|c<d>e\"f*g", "<->", true, "a<->b<->c<->d<->e<->f<->g"},
        {"no\xC2\xA0"
         "break\xC2\xADsoft\xCB\x9Ctilde\xC2\x81x",
         "", true, "nobreaksofttildex"},
        {"bad \xFF\xFE bytes \xC3", "", true, "bad \xFF\xFE bytes \xC3"},
        {"   \t ", "", true, ""},
        {"/films/ Mon film. /x*y", "", false, "/films/Mon film/xy"},
        {"/films/ Mon film. /x*y", "_", false, "/films/Mon film/x_y"},
        {"./../a/.../b", "", false, "./../a//b"},
    };
    for (const auto& test : cases)
        EXPECT_EQ(DDKClearPath(test.Path, test.Replace, test.IsFileName), test.Expected) << test.Path;
}

TEST(Files, SizeExistenceAndRealName)
{
    TempFolder root;
    const std::string empty = root.Write("m/empty.jpg");
    root.Write("m/allocine.JSON", "{}");
    root.MakeFolder("m/allocine.dir");
    fs::create_symlink(root.Path() / "nowhere", root.Path() / "dangling");
    EXPECT_EQ(DDKGetFileSize(empty), 0);
    EXPECT_EQ(DDKGetFileSize(root / "missing"), -1);
    EXPECT_EQ(DDKGetFileSize(root / "m"), -1);
    EXPECT_TRUE(DDKFileExists(empty));
    EXPECT_FALSE(DDKFileExists(root / "m"));
    EXPECT_FALSE(DDKFileExists(root / "dangling"));
    EXPECT_FALSE(DDKFileExists("  "));

    EXPECT_EQ(DDKGetRealFileName(root / "m", "allocine.*"), root / "m/allocine.JSON");
    EXPECT_EQ(DDKGetRealFileName(root / "m", "tmdb.*"), "");
}

TEST(Files, WriteLineAndText)
{
    TempFolder root;
    const std::string log = root / "Vantry.log";
    DDKWriteLine(log, "première", false);
    DDKWriteLine(log, "seconde", false);
    EXPECT_EQ(ReadWholeFile(log), "première\r\nseconde\r\n");
    DDKWriteLine(log, "seule", true);
    EXPECT_EQ(ReadWholeFile(log), "seule\r\n");
    DDKWriteText(log, "movie.asx", true);
    EXPECT_EQ(ReadWholeFile(log), "movie.asx");

    const std::string lost = root / "missing/Vantry.log";
    try {
        DDKWriteLine(lost, "x", false);
        ADD_FAILURE() << "no error for a missing folder";
    } catch (const EDDKError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("[DDKWriteLine][FileName=" + lost + "] ", 0), 0u)
            << error.what();
    }
}

TEST(Files, DeleteFolderRemovesFilesButNeverFollowsLinks)
{
    TempFolder root;
    root.Write("flat/a.nfo");
    root.Write("flat/.b");
    EXPECT_TRUE(DeleteFolder(root / "flat"));

    root.Write("tree/a.nfo");
    root.Write("tree/sub/b.jpg");
    TDDKStringList masked;
    EXPECT_EQ(ListFiles(root / "tree", "*.nfo", true, masked), 1); // "sub" does not match, so is not entered
    EXPECT_EQ(ListFiles("", "*", false, masked), 0);               // never the root folder
    EXPECT_FALSE(DeleteFolder(root / "tree/"));
    EXPECT_FALSE(fs::exists(root / "tree/sub/b.jpg"));
    EXPECT_TRUE(fs::is_directory(root / "tree/sub"));

    // A link inside the folder goes; what it leads to stays untouched.
    const std::string outside = root.Write("keep/precious.avi", "data");
    root.Write("linked/x.nfo");
    fs::create_directory_symlink(root.Path() / "keep", root.Path() / "linked/keep");
    fs::create_directory_symlink(root.Path() / "linked", root.Path() / "linked/self");
    EXPECT_TRUE(DeleteFolder(root / "linked"));
    EXPECT_EQ(ReadWholeFile(outside), "data");
}

TEST(Files, DeleteFilesStopsAtFirstFailure)
{
    // Run apart as an ordinary user: the superuser may delete from a read-only folder.
    EXPECT_EXIT(
        {
            if (::geteuid() == 0 && ::setuid(65534) != 0)
                ::_exit(2);
            bool ok = false;
            {
                TempFolder root;
                for (const char* name : {"a/1.nfo", "b/2.nfo", "c/3.nfo"})
                    root.Write(name);
                fs::permissions(root.Path() / "b", fs::perms::owner_write, fs::perm_options::remove);
                ok = !DeleteFiles(root.Path().string(), "*", true) && !fs::exists(root / "a/1.nfo") &&
                     fs::exists(root / "c/3.nfo");
                fs::permissions(root.Path() / "b", fs::perms::owner_write, fs::perm_options::add);
            }
            ::_exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(Files, AtomicSaveAndRenameWithoutReplace)
{
    TempFolder root;
    const std::string nfo = root / "movie.nfo";
    DDKSaveFileAtomic(nfo, "first");
    DDKSaveFileAtomic(nfo, "second, longer");
    EXPECT_EQ(ReadWholeFile(nfo), "second, longer");
    const std::string longest = root / (std::string(251, 'x') + ".xml"); // 255 bytes
    DDKSaveFileAtomic(longest, "x");
    EXPECT_EQ(ReadWholeFile(longest), "x");
    root.MakeFolder("taken/inside"); // the rename over a folder fails: the copy must go
    EXPECT_THROW(DDKSaveFileAtomic(root / "taken", "x"), EDDKError);
    EXPECT_EQ(std::distance(fs::directory_iterator(root.Path()), fs::directory_iterator()), 3);

    const std::string other = root.Write("other.nfo", "other");
    EXPECT_FALSE(DDKRenameNoReplace(nfo, other));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadWholeFile(other), "other");
    EXPECT_TRUE(DDKRenameNoReplace(nfo, root / "new #123.nfo"));
    EXPECT_EQ(ReadWholeFile(root / "new #123.nfo"), "second, longer");
}
