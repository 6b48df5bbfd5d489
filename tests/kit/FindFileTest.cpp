#include "DDKFindFile.h"

#include "TempFolder.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

using Attr = TDDKFileAttribute;
using Names = std::vector<std::string>;

// One walk of Root (or Folder below it); the paths found, relative to Root.
Names Walk(const TempFolder& Root, const char* Masks, bool Recursive = false,
           TDDKFileAttributes Attributes = TDDKFindFile().Attributes, const char* Exclude = "",
           const std::string& Folder = "")
{
    TDDKFindFile finder;
    finder.Path = Root.Path().string() + Folder;
    finder.Masks = Masks;
    finder.Recursive = Recursive;
    finder.Attributes = Attributes;
    finder.ExcludeMasks = Exclude;
    finder.Execute();
    Names names;
    for (const TDDKStringItem& item : finder.Files)
        names.push_back(item.String.substr(Root.Path().string().size() + 1));
    return names;
}

} // namespace

TEST(FindFile, MasksAndAttributesFilterOneFolder)
{
    TempFolder root;
    for (const char* name :
         {"film.avi", "FILM2.AVI", "Film2.avi", "README", "notes.", " blank.avi", "Été.mkv", "étang.mkv",
          ".hidden.avi", "sub.avi/x", "Titre (2001) #123/x", "Titre #1234/x", ".cache/x"})
        root.Write(name);
    const TDDKFileAttributes plain = TDDKFindFile().Attributes;
    const Names avi = {" blank.avi", "film.avi", "FILM2.AVI", "Film2.avi", ".hidden.avi"};
    const Names movies = {" blank.avi", "Été.mkv",   "étang.mkv",  "film.avi",
                          "FILM2.AVI",  "Film2.avi", ".hidden.avi"};
    const struct
    {
        const char* Masks;
        TDDKFileAttributes Attributes;
        const char* Exclude;
        Names Expected;
    } cases[] = {
        {"*.avi;*.mkv", plain, "", movies},
        {"*.avi,*.mkv", plain, "", movies},
        {"*.avi; *.mkv", plain, "", avi}, // the blank belongs to the second mask
        {"\"*.avi\"", plain, "", avi},
        {"*.*",
         plain,
         "",
         {" blank.avi", "Été.mkv", "étang.mkv", "film.avi", "FILM2.AVI", "Film2.avi", ".hidden.avi",
          "notes."}},
        {"", plain, "", {}},
        {"É*", plain, "", {"Été.mkv"}},
        {"*.avi", plain, "f*", {" blank.avi", ".hidden.avi"}},
        {"*",
         {},
         "",
         {"README", " blank.avi", "Été.mkv", "étang.mkv", "film.avi", "FILM2.AVI", "Film2.avi", "notes."}},
        {"*", {Attr::Directory}, "", {"sub.avi", "Titre #1234", "Titre (2001) #123"}},
        {"*#123", {Attr::Directory}, "", {"Titre (2001) #123"}},
        {"*.avi",
         {Attr::Directory, Attr::Hidden},
         "",
         {" blank.avi", "film.avi", "FILM2.AVI", "Film2.avi", ".hidden.avi", "sub.avi"}},
    };
    for (const auto& test : cases) {
        Names names = Walk(root, test.Masks, false, test.Attributes, test.Exclude);
        Names expected = test.Expected;
        std::sort(names.begin(), names.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names, expected) << test.Masks << " exclude " << test.Exclude;
    }
}

TEST(FindFile, RecursiveWalkSortsFullPathsAndSkipDropsOnlyOwnEntries)
{
    TempFolder root;
    for (const char* name : {"C.avi", "a.avi", "B/x.avi", "B/Deeper/y.avi", "écran.avi", "Echo.avi", "d.mkv",
                             "Extras/b.avi", "Extras/more/c.avi"})
        root.Write(name);
    const Names expected = {"a.avi", "B/Deeper/y.avi", "B/x.avi", "C.avi", "Echo.avi", "écran.avi"};
    EXPECT_EQ(Walk(root, "*.avi", true, TDDKFindFile().Attributes, "extra*"), expected);
    EXPECT_EQ(Walk(root, "*.avi", true, TDDKFindFile().Attributes, "extra*", "/"), expected);

    TDDKFindFile finder;
    finder.Path = root.Path().string();
    finder.Masks = "*.avi";
    finder.Recursive = true;
    Names visited;
    finder.OnDirectory = [&](TDDKFindFile*, const std::string& Dir, bool& Skip) {
        visited.push_back(Dir.substr(root.Path().string().size()));
        Skip = visited.size() == 1;
    };
    finder.Execute();
    // Level by level: never a folder deeper than one visited after it.
    const auto depth = [](const std::string& Dir) { return std::count(Dir.begin(), Dir.end(), '/'); };
    EXPECT_EQ(visited.size(), 5u);
    EXPECT_TRUE(std::is_sorted(visited.begin(), visited.end(),
                               [&](const auto& A, const auto& B) { return depth(A) < depth(B); }));
    EXPECT_EQ(finder.Files.Count(), 4); // everything but the start folder's own files
}

TEST(FindFile, LinkLoopsEndAndAwkwardNamesAreFound)
{
    TempFolder root;
    TempFolder elsewhere;
    elsewhere.Write("b.avi");
    const std::string longName = std::string(251, 'x') + ".avi"; // 255 bytes
    for (const std::string& name :
         {std::string("Le #1 (1999).avi"), std::string("\xff\xfe bad.avi"), longName})
        root.Write("m/" + name);
    std::filesystem::create_directory_symlink(root.Path(), root.Path() / "m/loop");
    std::filesystem::create_directory_symlink(elsewhere.Path(), root.Path() / "m/linked");
    const Names names = Walk(root, "*.avi", true);
    EXPECT_EQ(names.size(), 4u);
    EXPECT_NE(std::find(names.begin(), names.end(), "m/linked/b.avi"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "m/\xff\xfe bad.avi"), names.end());

    EXPECT_TRUE(Walk(root, "*", true, TDDKFindFile().Attributes, "", "/missing").empty());
}
