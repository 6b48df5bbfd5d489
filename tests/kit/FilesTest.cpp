#include "DDKError.h"
#include "DDKFiles.h"

#include "TempFolder.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

TEST(Files, PathText)
{
    struct Case
    {
        const char* FileName;
        const char* Path;
        const char* Name;
        const char* Extension;
        const char* ChangedToNfo;
    };
    const Case cases[] = {
        {"/films/Alien.avi", "/films/", "Alien.avi", ".avi", "/films/Alien.nfo"},
        {"/films/a.b/Alien", "/films/a.b/", "Alien", "", "/films/a.b/Alien.nfo"},
        {"Alien.tar.gz", "", "Alien.tar.gz", ".gz", "Alien.tar.nfo"},
        {"/films/", "/films/", "", "", "/films/.nfo"},
        {"notes.", "", "notes.", ".", "notes.nfo"},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(DDKExtractFilePath(test.FileName), test.Path) << test.FileName;
        EXPECT_EQ(DDKExtractFileName(test.FileName), test.Name) << test.FileName;
        EXPECT_EQ(DDKExtractFileExt(test.FileName), test.Extension) << test.FileName;
        EXPECT_EQ(DDKChangeFileExt(test.FileName, ".nfo"), test.ChangedToNfo) << test.FileName;
    }
    EXPECT_EQ(DDKIncludeTrailingPathDelimiter("/films"), "/films/");
    EXPECT_EQ(DDKIncludeTrailingPathDelimiter("/films/"), "/films/");
    EXPECT_EQ(DDKExcludeTrailingPathDelimiter("/films/"), "/films");
    EXPECT_EQ(DDKExcludeTrailingPathDelimiter("/"), "/");
}

TEST(Files, ClearPath)
{
    struct Case
    {
        const char* Path;
        const char* Replace;
        bool IsFileName;
        const char* Expected;
    };
    const Case cases[] = {
        {"Alien: le 8ème passager?", "", true, "Alien le 8ème passager"},
        {"AC/DC", "", true, "ACDC"},
        {"back\\slash", "", true, "backslash"},
        {"  trailing dots kept. ", "", true, "trailing dots kept."},
        {"a\tb|c<d>e\"f*g", "_", true, "a_b_c_d_e_f_g"},
        {"no\xC2\xA0"
         "break\xC2\xADsoft\xCB\x9Ctilde\xC2\x81x",
         "", true, "nobreaksofttildex"},
        {"Le Fabuleux Destin d'Amélie Poulain", "", true, "Le Fabuleux Destin d'Amélie Poulain"},
        {"bad \xFF\xFE bytes", "", true, "bad \xFF\xFE bytes"},
        {"cut \xC3", "", true, "cut \xC3"},
        {"   \t ", "", true, ""},
        {"x*y", "<->", true, "x<->y"},
        {"/films/ Mon film. /x*y", "", false, "/films/Mon film/xy"},
        {"/films/ Mon film. /x*y", "_", false, "/films/Mon film/x_y"},
        {"./../a/.../b", "", false, "./../a//b"},
        {"films//x", "", false, "films//x"},
    };
    for (const Case& test : cases)
        EXPECT_EQ(DDKClearPath(test.Path, test.Replace, test.IsFileName), test.Expected) << test.Path;
}

TEST(Files, SizeAndExistence)
{
    TempFolder root;
    const std::string empty = root.Write("empty.jpg");
    const std::string full = root.Write("full.jpg", "12345");
    const std::string folder = root.MakeFolder("folder");
    fs::create_symlink(root.Path() / "nowhere", root.Path() / "dangling");

    EXPECT_EQ(DDKGetFileSize(empty), 0);
    EXPECT_EQ(DDKGetFileSize(full), 5);
    EXPECT_EQ(DDKGetFileSize(root / "missing.jpg"), -1);
    EXPECT_EQ(DDKGetFileSize(folder), -1);

    EXPECT_TRUE(DDKFileExists(empty));
    EXPECT_FALSE(DDKFileExists(folder));
    EXPECT_FALSE(DDKFileExists(root / "missing.jpg"));
    EXPECT_FALSE(DDKFileExists(root / "dangling"));
    EXPECT_FALSE(DDKFileExists("  "));
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

    const std::string strm = root / "movie.strm";
    DDKWriteText(strm, "old text", false);
    DDKWriteText(strm, "movie.asx", true);
    EXPECT_EQ(ReadWholeFile(strm), "movie.asx");

    const std::string lost = root / "missing/Vantry.log";
    try {
        DDKWriteLine(lost, "x", false);
        ADD_FAILURE() << "no error for a missing folder";
    } catch (const EDDKError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("[DDKWriteLine][FileName=" + lost + "] ", 0), 0u)
            << error.what();
    }
    EXPECT_THROW(DDKWriteText(lost, "x", true), EDDKError);
    EXPECT_FALSE(fs::exists(lost));
}

TEST(Files, RealFileNameAndListing)
{
    TempFolder root;
    root.Write("movie/allocine.JSON", "{}");
    root.Write("movie/folder.jpg");
    root.MakeFolder("movie/allocine.dir");
    EXPECT_EQ(DDKGetRealFileName(root / "movie", "allocine.*"), root / "movie/allocine.JSON");
    EXPECT_EQ(DDKGetRealFileName(root / "movie/", "ALLOCINE.json"), root / "movie/allocine.JSON");
    EXPECT_EQ(DDKGetRealFileName(root / "movie", "tmdb.*"), "");
    EXPECT_EQ(DDKGetRealFileName(root / "missing", "*"), "");

    root.Write("movie/sub/deep.txt");
    root.Write("movie/.hidden");
    TDDKStringList flat;
    EXPECT_EQ(ListFiles(root / "movie", "*", false, flat), 3); // folders are not listed
    TDDKStringList tree;
    EXPECT_EQ(ListFiles(root / "movie", "*", true, tree), 4);
    EXPECT_NE(tree.IndexOf(root / "movie/sub/deep.txt"), -1);
    TDDKStringList masked;
    EXPECT_EQ(ListFiles(root / "movie", "*.jpg", true, masked), 1); // "sub" does not match, so is not entered
    TDDKStringList none;
    EXPECT_EQ(ListFiles(root / "missing", "*", true, none), 0);
}

TEST(Files, DeleteFolderRemovesFilesButNeverFollowsLinks)
{
    TempFolder root;
    root.Write("flat/a.nfo");
    root.Write("flat/.b");
    EXPECT_TRUE(DeleteFolder(root / "flat"));
    EXPECT_FALSE(fs::exists(root / "flat"));

    root.Write("tree/a.nfo");
    root.Write("tree/sub/b.jpg");
    root.MakeFolder("tree/empty");
    EXPECT_FALSE(DeleteFolder(root / "tree/"));
    EXPECT_FALSE(fs::exists(root / "tree/a.nfo"));
    EXPECT_FALSE(fs::exists(root / "tree/sub/b.jpg"));
    EXPECT_TRUE(fs::is_directory(root / "tree/sub"));

    // A link inside the folder goes; what it leads to stays untouched.
    const std::string outside = root.Write("keep/precious.avi", "data");
    root.Write("linked/x.nfo");
    fs::create_directory_symlink(root.Path() / "keep", root.Path() / "linked/keep");
    fs::create_directory_symlink(root.Path() / "linked", root.Path() / "linked/self");
    EXPECT_TRUE(DeleteFolder(root / "linked"));
    EXPECT_EQ(ReadWholeFile(outside), "data");

    EXPECT_TRUE(DeleteFiles(root / "missing", "*", true));
    EXPECT_FALSE(DeleteFolder(root / "missing"));
}

TEST(Files, DeleteFilesStopsAtFirstFailure)
{
    // Run apart, as an ordinary user: the superuser may delete from a
    // read-only folder.
    EXPECT_EXIT(
        {
            if (::geteuid() == 0 && ::setuid(65534) != 0)
                ::_exit(2);
            bool ok = true;
            {
                TempFolder root;
                root.Write("a/1.nfo");
                root.Write("b/2.nfo");
                root.Write("c/3.nfo");
                fs::permissions(root.Path() / "b", fs::perms::owner_write, fs::perm_options::remove);
                ok = !DeleteFiles(root.Path().string(), "*", true) && !fs::exists(root / "a/1.nfo") &&
                     fs::exists(root / "c/3.nfo"); // after the failure nothing more is deleted
                fs::permissions(root.Path() / "b", fs::perms::owner_write, fs::perm_options::add);
            }
            ::_exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(Files, AtomicSaveReplacesWholeFileAndLeavesNothingBehind)
{
    TempFolder root;
    const std::string nfo = root / "movie.nfo";
    DDKSaveFileAtomic(nfo, "first");
    DDKSaveFileAtomic(nfo, "second, longer");
    EXPECT_EQ(ReadWholeFile(nfo), "second, longer");
    struct stat status
    {
    };
    ASSERT_EQ(::stat(nfo.c_str(), &status), 0);
    EXPECT_NE(status.st_mode & S_IRGRP, 0u) << "the usual permissions, not a private temporary's";

    EXPECT_THROW(DDKSaveFileAtomic(root / "missing/movie.nfo", "x"), EDDKError);
    // Saving over a folder fails at the rename: the temporary copy must go.
    root.MakeFolder("taken.nfo/inside");
    EXPECT_THROW(DDKSaveFileAtomic(root / "taken.nfo", "x"), EDDKError);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(root.Path()))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"movie.nfo", "taken.nfo"}));
}

TEST(Files, RenameNeverReplacesAnExistingFile)
{
    TempFolder root;
    const std::string source = root.Write("old.avi", "movie");
    const std::string taken = root.Write("taken.avi", "other");
    errno = 0;
    EXPECT_FALSE(DDKRenameNoReplace(source, taken));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadWholeFile(source), "movie");
    EXPECT_EQ(ReadWholeFile(taken), "other");

    EXPECT_TRUE(DDKRenameNoReplace(source, root / "new #123.avi"));
    EXPECT_EQ(ReadWholeFile(root / "new #123.avi"), "movie");
    EXPECT_FALSE(fs::exists(source));
    EXPECT_FALSE(DDKRenameNoReplace(source, root / "again.avi"));
    EXPECT_EQ(errno, ENOENT);
}
