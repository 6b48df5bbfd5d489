#include "DDKError.h"
#include "DDKFiles.h"

#include "TempFolder.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>

namespace fs = std::filesystem;

TEST(Files, ClearPath)
{
    const std::tuple<const char*, const char*, bool, const char*> cases[] = {
        {"Alien: le 8ème passager?", "", true, "Alien le 8ème passager"},
        {"AC/DC back\\slash", "", true, "ACDC backslash"},
        {"  dots kept. ", "", true, "dots kept."},
        {"a\tb|c<d>e\"f*g", "<->", true, "a<->b<->c<->d<->e<->f<->g"},
        {"no\u00A0break\u00ADsoft\u02DCtilde\u0081x", "", true, "nobreaksofttildex"},
        {"bad \xFF\xFE bytes \xC3", "", true, "bad \xFF\xFE bytes \xC3"},
        {"/films/ Mon film. /x*y", "_", false, "/films/Mon film/x_y"},
        {"./../a/.../b", "", false, "./../a//b"},
    };
    for (const auto& [path, replace, isFileName, expected] : cases)
        EXPECT_EQ(DDKClearPath(path, replace, isFileName), expected) << path;
}

TEST(Files, DeleteFolderRemovesFilesButNeverFollowsLinks)
{
    TempFolder root;
    root.Write("tree/a.nfo");
    root.Write("tree/sub/b.jpg");
    TDDKStringList masked;
    EXPECT_EQ(ListFiles(root / "tree", "*.nfo", true, masked), 1); // "sub" does not match, so is not entered
    EXPECT_EQ(ListFiles("", "*", false, masked), 0);               // never the root folder
    EXPECT_FALSE(DeleteFolder(root / "tree/"));                    // a folder is left: "sub"
    EXPECT_FALSE(fs::exists(root / "tree/sub/b.jpg"));
    // A link inside the folder goes; what it leads to stays untouched.
    const std::string outside = root.Write("keep/precious.avi", "data");
    root.Write("linked/.x.nfo");
    fs::create_directory_symlink(root.Path() / "keep", root.Path() / "linked/keep");
    fs::create_directory_symlink(root.Path() / "linked", root.Path() / "linked/self");
    EXPECT_TRUE(DeleteFolder(root / "linked"));
    EXPECT_EQ(ReadWholeFile(outside), "data");
}

TEST(Files, AtomicSaveAndRenameWithoutReplace)
{
    TempFolder root;
    const std::string nfo = root / "movie.nfo";
    DDKSaveFileAtomic(nfo, "first");
    DDKSaveFileAtomic(nfo, "second, longer");
    EXPECT_EQ(ReadWholeFile(nfo), "second, longer");
    DDKSaveFileAtomic(root / (std::string(251, 'x') + ".xml"), "x"); // 255 bytes
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

TEST(Files, AFilledFileIsOneWithBytesOrOneThatCannotBeRead)
{
    TempFolder root;
    EXPECT_TRUE(DDKFileFilled(root.Write("poster.jpg", "x")));
    EXPECT_FALSE(DDKFileFilled(root.Write("empty.jpg")));
    EXPECT_FALSE(DDKFileFilled(root / "missing.jpg"));
    EXPECT_FALSE(DDKFileFilled(root.MakeFolder("folder.jpg")));
    // A size that is a multiple of 4 GiB is not an empty file.
    const std::string huge = root.Write("huge.jpg");
    fs::resize_file(huge, std::uintmax_t(1) << 32); // sparse: no disc space taken
    EXPECT_TRUE(DDKFileFilled(huge));
    // A pipe counts as filled, and looking at it does not wait for a writer.
    const std::string pipe = root / "pipe.jpg";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_TRUE(DDKFileFilled(pipe));
}

TEST(Files, LoadingReadsOnlyPlainFilesUpToTheirLimit)
{
    TempFolder root;
    EXPECT_EQ(DDKLoadFile(root.Write("small.jpg", "1234"), 4), "1234");
    EXPECT_THROW(DDKLoadFile(root / "small.jpg", 3), EDDKError);
    // Whatever the low 32 bits of its size say.
    const std::string huge = root.Write("huge.jpg");
    fs::resize_file(huge, (std::uintmax_t(1) << 32) + 1);
    EXPECT_THROW(DDKLoadFile(huge, 1 << 20), EDDKError);
    const std::string pipe = root / "pipe.jpg";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_THROW(DDKLoadFile(pipe), EDDKError);
}
