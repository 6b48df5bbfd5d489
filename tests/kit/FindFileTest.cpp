#include "DDKFindFile.h"

#include "TempFolder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Names(const TDDKStringList& List)
{
    std::vector<std::string> names;
    for (const TDDKStringItem& item : List)
        names.push_back(item.String);
    return names;
}

// Runs one walk of Path with the given settings; the full paths it gives,
// relative to Root.
std::vector<std::string> Walk(const TempFolder& Root, const std::string& Path, const std::string& Masks,
                              bool Recursive = false,
                              TDDKFileAttributes Attributes = TDDKFindFile().Attributes,
                              const std::string& ExcludeMasks = "")
{
    TDDKFindFile finder;
    finder.Path = Path;
    finder.Masks = Masks;
    finder.Recursive = Recursive;
    finder.Attributes = Attributes;
    finder.ExcludeMasks = ExcludeMasks;
    finder.Execute();
    const std::string prefix = Root.Path().string() + "/";
    std::vector<std::string> names;
    for (const std::string& name : Names(finder.Files))
        names.push_back(name.rfind(prefix, 0) == 0 ? name.substr(prefix.size()) : "outside:" + name);
    return names;
}

using Attr = TDDKFileAttribute;

} // namespace

TEST(FindFile, MasksAndAttributesFilterOneFolder)
{
    TempFolder root;
    for (const char* name :
         {"film.avi", "FILM2.AVI", "README", "notes.", " blank.avi", "Été.mkv", "étang.mkv", ".hidden.avi",
          "sub.avi/inside.avi", "Titre (2001) #123/x", "Titre #1234/x", ".cache/x"})
        root.Write(name);

    struct Case
    {
        const char* Masks;
        TDDKFileAttributes Attributes;
        const char* Exclude;
        std::vector<std::string> Expected;
    };
    const TDDKFileAttributes plain = TDDKFindFile().Attributes;
    const std::vector<std::string> avi = {" blank.avi", "film.avi", "FILM2.AVI", ".hidden.avi"};
    const Case cases[] = {
        {"*.avi;*.mkv",
         plain,
         "",
         {" blank.avi", "Été.mkv", "étang.mkv", "film.avi", "FILM2.AVI", ".hidden.avi"}},
        {"*.avi,*.mkv",
         plain,
         "",
         {" blank.avi", "Été.mkv", "étang.mkv", "film.avi", "FILM2.AVI", ".hidden.avi"}},
        // A blank after the separator belongs to the second mask.
        {"*.avi; *.mkv", plain, "", avi},
        {"\"*.avi\"", plain, "", avi},
        {"*.AVI", plain, "", avi},
        {"*.*",
         plain,
         "",
         {" blank.avi", "Été.mkv", "étang.mkv", "film.avi", "FILM2.AVI", ".hidden.avi", "notes."}},
        {"", plain, "", {}},
        {"É*", plain, "", {"Été.mkv"}},
        {"*.avi", plain, "f*", {" blank.avi", ".hidden.avi"}},
        {"*", {}, "", {"README", " blank.avi", "Été.mkv", "étang.mkv", "film.avi", "FILM2.AVI", "notes."}},
        {"*", {Attr::Directory}, "", {"sub.avi", "Titre #1234", "Titre (2001) #123"}},
        {"*#123", {Attr::Directory}, "", {"Titre (2001) #123"}},
        {"*.avi",
         {Attr::Directory, Attr::Hidden},
         "",
         {" blank.avi", "film.avi", "FILM2.AVI", ".hidden.avi", "sub.avi"}},
        {".c*", {Attr::Directory, Attr::Hidden}, "", {".cache"}},
    };
    for (const Case& test : cases) {
        auto names = Walk(root, root.Path().string(), test.Masks, false, test.Attributes, test.Exclude);
        std::sort(names.begin(), names.end());
        auto expected = test.Expected;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names, expected) << "masks " << test.Masks << " exclude " << test.Exclude;
    }
}

TEST(FindFile, RecursiveWalkSortsFullPathsIgnoringCase)
{
    TempFolder root;
    for (const char* name : {"C.avi", "a.avi", "B/x.avi", "B/Deeper/y.avi", "écran.avi", "Echo.avi", "d.mkv"})
        root.Write(name);
    const std::vector<std::string> expected = {"a.avi", "B/Deeper/y.avi", "B/x.avi",
                                               "C.avi", "Echo.avi",       "écran.avi"};
    EXPECT_EQ(Walk(root, root.Path().string(), "*.avi", true), expected);
    // With or without the trailing separator, exactly one '/' between folder and name.
    EXPECT_EQ(Walk(root, root.Path().string() + "/", "*.avi", true), expected);

    // The result is sorted while it fills; later additions go at the end.
    TDDKFindFile finder;
    finder.Path = root.Path().string();
    finder.Masks = "*.avi";
    finder.Execute();
    finder.Files.Add(root / "0.avi");
    EXPECT_EQ(finder.Files[finder.Files.Count() - 1], root / "0.avi");
}

TEST(FindFile, TreeIsWalkedLevelByLevelAndSkipDropsOnlyOwnEntries)
{
    TempFolder root;
    for (const char* name : {"top.avi", "one/a.avi", "one/deep/b.avi", "two/c.avi", "skipme/d.avi"})
        root.Write(name);

    TDDKFindFile finder;
    finder.Path = root.Path().string();
    finder.Masks = "*.avi";
    finder.Recursive = true;
    std::vector<std::string> visited;
    finder.OnDirectory = [&](TDDKFindFile* Sender, const std::string& Dir, bool& Skip) {
        EXPECT_EQ(Sender, &finder);
        visited.push_back(Dir.substr(root.Path().string().size()));
        Skip = Dir == root.Path().string() + "/" || Dir.ends_with("/skipme/");
    };
    finder.Execute();

    ASSERT_EQ(visited.size(), 5u);
    EXPECT_EQ(visited[0], "/");
    EXPECT_EQ(visited[4], "/one/deep/"); // the only folder two levels down comes last
    EXPECT_EQ(Names(finder.Files),
              (std::vector<std::string>{root / "one/a.avi", root / "one/deep/b.avi", root / "two/c.avi"}));
}

TEST(FindFile, ExcludedFolderHidesItsWholeTree)
{
    TempFolder root;
    for (const char* name : {"keep/a.avi", "Extras/b.avi", "Extras/more/c.avi", "d.avi"})
        root.Write(name);
    EXPECT_EQ(Walk(root, root.Path().string(), "*.avi", true, TDDKFindFile().Attributes, "extra*"),
              (std::vector<std::string>{"d.avi", "keep/a.avi"}));
}

TEST(FindFile, LinkedFoldersAreWalkedOnceAndLoopsEnd)
{
    TempFolder root;
    TempFolder elsewhere;
    root.Write("movies/a.avi");
    elsewhere.Write("b.avi");
    std::filesystem::create_directory_symlink(root.Path(), root.Path() / "movies/loop");
    std::filesystem::create_directory_symlink(elsewhere.Path(), root.Path() / "movies/linked");
    std::filesystem::create_directory_symlink(root.Path() / "missing", root.Path() / "movies/dangling.avi");

    const auto names = Walk(root, root.Path().string(), "*.avi", true);
    // The loop leads back to an entered folder and is not walked again; the
    // dangling link is an entry like a file.
    EXPECT_EQ(names,
              (std::vector<std::string>{"movies/a.avi", "movies/dangling.avi", "movies/linked/b.avi"}));
}

TEST(FindFile, AwkwardNamesAndMissingFolders)
{
    TempFolder root;
    const std::string longName = std::string(251, 'x') + ".avi"; // 255 bytes, the most a name may hold
    const std::vector<std::string> names = {"Le #1 film (1999).avi", "  deux  blancs .avi",
                                            "\xff\xfe bad.avi", "crème brûlée.avi", longName};
    for (const std::string& name : names)
        root.Write("sub/" + name);
    const auto found = Walk(root, root.Path().string(), "*.avi", true);
    EXPECT_EQ(found.size(), names.size());
    for (const std::string& name : names)
        EXPECT_NE(std::find(found.begin(), found.end(), "sub/" + name), found.end()) << name;

    EXPECT_TRUE(Walk(root, root / "missing", "*.avi", true).empty());
    EXPECT_TRUE(Walk(root, root / "missing", "*.avi", false).empty());

    // An empty path searches nothing, yet both events fire.
    TDDKFindFile finder;
    int events = 0;
    finder.OnBegin = [&](TDDKFindFile*) { events += 1; };
    finder.OnEnd = [&](TDDKFindFile*) { events += 10; };
    finder.Execute();
    EXPECT_EQ(events, 11);
    EXPECT_TRUE(finder.Files.Empty());
}
