#include "DDKError.h"
#include "DDKFiles.h"

#include "TempFolder.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

// While it lives, the calling thread is refused files as any user is, even
// when it runs as root (as the tests do in CI): the two capabilities that let
// root read any file are set aside.
class TNoReadOverride
{
public:
    TNoReadOverride()
    {
        EXPECT_EQ(::syscall(SYS_capget, &FHeader, FSaved), 0);
        __user_cap_data_struct lowered[2] = {FSaved[0], FSaved[1]};
        lowered[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
        EXPECT_EQ(::syscall(SYS_capset, &FHeader, lowered), 0);
    }
    ~TNoReadOverride() { ::syscall(SYS_capset, &FHeader, FSaved); }
    TNoReadOverride(const TNoReadOverride&) = delete;
    TNoReadOverride& operator=(const TNoReadOverride&) = delete;

private:
    __user_cap_header_struct FHeader{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct FSaved[2]{};
};

} // namespace

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

TEST(Files, OneLookTellsWhetherAFileIsThereAndWhetherItIsFilled)
{
    TempFolder root;
    const std::string pipe = root / "pipe.jpg";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    // An empty file that no one may open, root included: one we cannot read
    // counts as filled, so that it is left alone.
    const std::string locked = root.Write("locked.jpg");
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    const TNoReadOverride anyUser;
    ASSERT_EQ(DDKGetFileSize(locked), -1);
    fs::create_symlink(root / "nowhere", root / "dangling.jpg");
    for (const std::string& file : {root.Write("poster.jpg", "x"), root.Write("empty.jpg"), root / "missing.jpg",
                                    root.MakeFolder("folder.jpg"), pipe, locked, root / "dangling.jpg",
                                    std::string("  ")}) {
        const TDDKFileLook look = DDKLookAtFile(file);
        EXPECT_EQ(look.Exists, DDKFileExists(file)) << file;
        EXPECT_EQ(look.Filled, DDKFileExists(file) && DDKGetFileSize(file) != 0) << file;
    }
}

TEST(Files, AListingHoldsEveryEntryWithItsKindAndKeepsItsNamesWhenMoved)
{
    // More entries than one read of the folder brings, and than a listing
    // keeps room for from one folder to the next.
    TempFolder root;
    std::vector<std::string> names;
    for (int i = 0; i < 5000; ++i)
        names.push_back(root.Write("a movie file with a rather long name number " + std::to_string(i) + ".avi"));
    root.MakeFolder("sub");
    root.Write(".hidden");
    fs::create_symlink(root / "sub", root / "to folder");
    fs::create_symlink(names[0], root / "to file");
    fs::create_symlink(root / "nowhere", root / "dangling");
    ASSERT_EQ(::mkfifo((root / "pipe").c_str(), 0600), 0);

    std::vector<TDDKFolderListing> listings;
    for (int i = 0; i < 20; ++i) // moved along as the vector grows
        listings.push_back(DDKListFolder(root.Path().string()));
    const TDDKFolderListing& listing = listings.back();
    ASSERT_EQ(listing.size(), names.size() + 6);
    for (const std::string& name : names) {
        const TDDKFolderEntry* entry = listing.Find(name.substr(root.Path().string().size() + 1));
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_TRUE(entry->IsRegular && !entry->IsDirectory && !entry->IsSymLink && !entry->IsHidden) << name;
    }
    // name: directory, regular, link, hidden
    const std::tuple<const char*, bool, bool, bool, bool> kinds[] = {
        {"sub", true, false, false, false},      {".hidden", false, true, false, true},
        {"to folder", true, false, true, false}, {"to file", false, true, true, false},
        {"dangling", false, false, true, false}, {"pipe", false, false, false, false}};
    for (const auto& [name, directory, regular, link, hidden] : kinds) {
        const TDDKFolderEntry* entry = listing.Find(name);
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_EQ(std::tuple(entry->IsDirectory, entry->IsRegular, entry->IsSymLink, entry->IsHidden),
                  std::tuple(directory, regular, link, hidden))
            << name;
    }
    EXPECT_EQ(listing.Find("missing"), nullptr);

    // The listing also tells what the name it was made by is: a folder, a
    // link to one (listed through it, with or without a trailing '/'), or
    // nothing that can be listed.
    const std::tuple<std::string, bool, bool, std::size_t> folders[] = {
        {root / "sub", true, false, 0},       {root / "sub/", true, false, 0},
        {root / "to folder", true, true, 0},  {root / "to folder/", true, true, 0},
        {root / "to file", false, false, 0},  {root / "dangling", false, false, 0},
        {root / "missing", false, false, 0},  {"", false, false, 0},
        {root.Path().string(), true, false, names.size() + 6}};
    for (const auto& [folder, opened, throughLink, count] : folders) {
        const TDDKFolderListing other = DDKListFolder(folder);
        EXPECT_EQ(std::tuple(other.Opened(), other.ThroughLink(), other.size()),
                  std::tuple(opened, throughLink, count))
            << folder;
    }
}
