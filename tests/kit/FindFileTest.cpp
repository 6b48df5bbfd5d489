#include "DDKFindFile.h"

#include "TempFolder.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <tuple>
#include <utility>

using Attr = TDDKFileAttribute;
using Names = std::vector<std::string>;
const TDDKFileAttributes Plain = TDDKFindFile().Attributes;

// One walk of Root (or Folder below it); the paths found, relative to Root.
static Names Walk(const TempFolder& Root, const char* Masks, bool Recursive = false,
                  TDDKFileAttributes Attributes = Plain, const char* Exclude = "",
                  const std::string& Folder = "", TDDKFindFile::TDirectoryEvent OnDirectory = {})
{
    TDDKFindFile finder;
    finder.Path = Root.Path().string() + Folder;
    finder.Masks = Masks;
    finder.Recursive = Recursive;
    finder.Attributes = Attributes;
    finder.ExcludeMasks = Exclude;
    finder.OnDirectory = std::move(OnDirectory);
    finder.Execute();
    Names names;
    for (const TDDKStringItem& item : finder.Files)
        names.push_back(item.String.substr(Root.Path().string().size() + 1));
    return names;
}

TEST(FindFile, MasksAndAttributesFilterOneFolder)
{
    TempFolder root;
    for (const char* name :
         {"film.avi", "FILM2.AVI", "Film2.avi", "README", "notes.", " blank.avi", "Été.mkv", ".hidden.avi",
          "sub.avi/x", "Titre (2001) #123/x", "Titre #1234/x", ".cache/x"})
        root.Write(name);
    const Names movies = {" blank.avi", ".hidden.avi", "FILM2.AVI", "Film2.avi", "film.avi", "Été.mkv"};
    const std::tuple<const char*, TDDKFileAttributes, const char*, Names> cases[] = {
        {"*.avi;*.mkv", Plain, "", movies},
        {"\"*.avi\",*.mkv", Plain, "", movies},
        {"*.avi; *.mkv", Plain, "",
         Names(movies.begin(), movies.end() - 1)}, // the blank belongs to the second mask
        {"*.*", Plain, "*.avi", {"notes.", "Été.mkv"}},
        {"*.avi", {}, "", {" blank.avi", "FILM2.AVI", "Film2.avi", "film.avi"}},
        {"*#123", {Attr::Directory}, "", {"Titre (2001) #123"}},
        {"*b*.avi", {Attr::Directory, Attr::Hidden}, "", {" blank.avi", "sub.avi"}},
    };
    for (const auto& [masks, attributes, exclude, expected] : cases) {
        Names names = Walk(root, masks, false, attributes, exclude);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, expected) << masks << " exclude " << exclude;
    }
}

TEST(FindFile, RecursiveWalkSortsFullPathsAndSkipDropsOnlyOwnEntries)
{
    TempFolder root;
    for (const char* name : {"C.avi", "a.avi", "B/x.avi", "B/Deeper/y.avi", "écran.avi", "Echo.avi", "d.mkv",
                             "Extras/b.avi", "Extras/more/c.avi"})
        root.Write(name);
    const Names expected = {"a.avi", "B/Deeper/y.avi", "B/x.avi", "C.avi", "Echo.avi", "écran.avi"};
    EXPECT_EQ(Walk(root, "*.avi", true, Plain, "extra*"), expected);
    EXPECT_EQ(Walk(root, "*.avi", true, Plain, "extra*", "/"), expected);

    // Folders are announced level by level; skipping one drops only its own files.
    std::string depths; // of each folder announced, below the start folder
    const auto skipFirst = [&](TDDKFindFile*, const std::string& Dir, bool& Skip) {
        Skip = depths.empty();
        depths += std::to_string(std::count(Dir.begin() + root.Path().string().size(), Dir.end(), '/'));
    };
    EXPECT_EQ(Walk(root, "*.avi", true, Plain, "", "", skipFirst).size(), 4u);
    EXPECT_EQ(depths, "12233");
}

TEST(FindFile, WideTreeKeepsOrderAFolderReachedTwiceCountsOnceAndLinkLoopsEnd)
{
    TempFolder root, elsewhere;
    Names expected = {"m/linked/b.avi"};
    elsewhere.Write("b.avi");
    // Wide enough that a walker costing more than linear time shows up in the
    // benchmarks; names that differ in case only stay apart, in the order
    // they were found, and a link to a folder of the tree lists it once, at
    // the path the walk met first (the shallower one).
    for (int i = 0; i < 300; ++i) {
        const std::string name = "w/" + std::to_string(1000 - i) + "/f.avi";
        root.Write(name);
        expected.push_back(name);
    }
    for (const std::string& name : Names{"a/a.avi", "a/A.avi", ".h/hidden.avi", "#1/x.avi", "é/x.avi",
                                         "m/\xff\xfe bad.avi", "m/" + std::string(251, 'x') + ".avi"}) {
        root.Write(name);
        expected.push_back(name);
    }
    root.Write("a/b/mid.avi");
    root.Write("a/b/c/d/deep.avi");
    root.Write("pipe.avi/no.txt"); // a folder whose name matches is not a file
    std::filesystem::create_directory_symlink(root.Path() / "a/b", root.Path() / "link");
    std::filesystem::create_directory_symlink(root.Path() / "a", root.Path() / "a/b/c/up");
    std::filesystem::create_directory_symlink(root.Path(), root.Path() / "m/loop");
    std::filesystem::create_directory_symlink(elsewhere.Path(), root.Path() / "m/linked");
    expected.push_back("link/mid.avi");
    expected.push_back("link/c/d/deep.avi");
    std::sort(expected.begin(), expected.end());

    std::vector<std::string> announced;
    const auto record = [&](TDDKFindFile*, const std::string& Dir, bool&) { announced.push_back(Dir); };
    Names found = Walk(root, "*.avi", true, Plain, "", "", record);
    // Sorted case ignored; a/a.avi and a/A.avi come in the order the disc gives.
    EXPECT_TRUE(std::is_sorted(found.begin(), found.end(), [](const std::string& A, const std::string& B) {
        return DDKLocaleCompareText(A, B) < 0;
    }));
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, expected);
    // Level by level: no folder is announced before a shallower one.
    std::vector<long> levels;
    for (const std::string& dir : announced)
        levels.push_back(std::count(dir.begin(), dir.end(), '/'));
    EXPECT_TRUE(std::is_sorted(levels.begin(), levels.end()));
    EXPECT_EQ(std::count(announced.begin(), announced.end(), root.Path().string() + "/a/b/"), 0);
    EXPECT_TRUE(Walk(root, "*", true, Plain, "", "/missing").empty());
}

TEST(FindFile, AWalkOfManyFoldersEntersEachOnceHoweverManyLinksLeadBack)
{
    // More folders than the walk's memory of them first holds, each with a
    // link back to the top and one to its neighbour.
    TempFolder root;
    Names expected;
    for (int i = 0; i < 150; ++i) {
        const std::string name = "f" + std::to_string(i) + "/movie.avi";
        root.Write(name);
        expected.push_back(name);
        std::filesystem::create_directory_symlink(root.Path(),
                                                  root.Path() / ("f" + std::to_string(i)) / "top");
        if (i > 0)
            std::filesystem::create_directory_symlink(root.Path() / ("f" + std::to_string(i - 1)),
                                                      root.Path() / ("f" + std::to_string(i)) / "previous");
    }
    Names found = Walk(root, "*.avi", true);
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
}
