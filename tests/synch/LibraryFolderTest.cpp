// The movie's library folder is trusted only as far as a listing read to its
// end tells, and only when the listing was taken after the last wait for a
// service: a folder that could not be read is neither emptied, nor written
// through, nor passed over without a word, and a folder changed while an
// answer was awaited is written as it is now.
#include "FailedFolderRead.h"
#include "SynchRun.h"
#include "SynchScenario.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

const std::string JardinFile = "Le Jardin oublie 1972 DVDRip XviD FRENCH.avi";
const std::string JardinRenamed =
    "Le Jardin oublié (The Lost Garden) (10-1972) (Éric Rohmer) (Drame, Comédie) #12345.avi";

// Each file below Folder and its bytes.
std::map<std::string, std::string> Contents(const std::string& Folder)
{
    std::map<std::string, std::string> Files;
    for (const auto& Entry : fs::recursive_directory_iterator(Folder))
        Files[Entry.path().string()] = Entry.is_regular_file() ? ReadWholeFile(Entry.path().string()) : "";
    return Files;
}

// For N = 1, 2, ...: a fresh scenario made by Prepare, which names the folder
// whose Nth read then fails during a renaming synchronisation; the run must
// say so in one line naming the folder, and Check judges what it did. Ends
// with the first run that reads the folder fewer than N times.
void ForEachFailedRead(const std::function<std::string(TSynchScenario&)>& Prepare,
                       const std::function<void(TSynchScenario&, const Strings&)>& Check)
{
    int Read = 1;
    for (; Read < 50 && !::testing::Test::HasFailure(); ++Read) {
        SCOPED_TRACE("read " + std::to_string(Read) + " of the folder fails");
        TSynchScenario Scenario;
        Scenario.ScriptServices();
        const std::string Folder = Prepare(Scenario);
        Strings Lines;
        {
            const TFailedFolderRead Failure(Folder, Read);
            Lines = RunSynchronisation(Scenario.MovieDir(), true);
            if (!Failure.Failed())
                break;
        }
        EXPECT_EQ(CountHolding(Lines, "Le dossier \"" + Folder + "\" n'a pas pu être lu jusqu'au bout"), 1)
            << ::testing::PrintToString(Lines);
        Check(Scenario, Lines);
    }
    EXPECT_GT(Read, 2); // the folder was read, and more than once
}

TEST(LibraryFolderTest, AKilledRenameWhoseFolderCannotBeReadLosesNothing)
{
    // Killed between the rename and its journal line: the file carries its
    // new name, its playlist the old one. The next run journals the rename.
    const auto Prepare = [](TSynchScenario& Scenario) {
        Scenario.Temp.Write("Films/" + JardinFile, "movie 12345");
        RunSynchronisation(Scenario.MovieDir(), false);
        fs::rename(Scenario.Movie(JardinFile), Scenario.Movie(JardinRenamed));
        Scenario.Temp.Write("Films/@Vantry/" + JardinDir + "/notes.txt", "à garder");
        return Scenario.Library(JardinDir);
    };
    ForEachFailedRead(Prepare, [](TSynchScenario& Scenario, const Strings& Lines) {
        Strings Both = Lines;
        const Strings Next = RunSynchronisation(Scenario.MovieDir(), true);
        Both.insert(Both.end(), Next.begin(), Next.end());
        EXPECT_EQ(ReadWholeFile(Scenario.Library(JardinDir) + "/notes.txt"), "à garder");
        EXPECT_EQ(ReadWholeFile(Scenario.Movie(JardinRenamed)), "movie 12345");
        EXPECT_EQ(Scenario.Fake.Count(AllocineApiHost, "/rest/v3/movie"), 1); // never fetched again
        EXPECT_EQ(std::count(Both.begin(), Both.end(), Scenario.RenameLines()[3]), 1)
            << ::testing::PrintToString(Both);
        EXPECT_EQ(PlaylistEntries(Scenario.Library(JardinDir) + "/movie.asx"),
                  Strings{Scenario.Movie(JardinRenamed)});
    });
}

TEST(LibraryFolderTest, ACachedAnswerLinkedToAUserFileIsNeverWrittenThroughWhateverReadFails)
{
    const auto Prepare = [](TSynchScenario& Scenario) {
        Scenario.Temp.Write("Films/alien #2001.avi", "movie 2001");
        Scenario.Temp.Write("user/answer.json", "mine");
        Scenario.Temp.MakeFolder("Films/@Vantry/" + AlienDir);
        fs::create_symlink(Scenario.Temp / "user/answer.json", Scenario.Library(AlienDir) + "/allocine.json");
        return Scenario.Library(AlienDir);
    };
    ForEachFailedRead(Prepare, [](TSynchScenario& Scenario, const Strings&) {
        EXPECT_EQ(ReadWholeFile(Scenario.Temp / "user/answer.json"), "mine");
        EXPECT_TRUE(fs::is_symlink(Scenario.Library(AlienDir) + "/allocine.json"));
    });
}

TEST(LibraryFolderTest, AMovieFolderThatCannotBeReadStopsTheRunWithAWordAndTheNextRunDoesItAll)
{
    const auto Prepare = [](TSynchScenario& Scenario) {
        Scenario.CreateMovieFiles();
        // Long names, so that the folder takes several reads.
        for (int Index = 0; Index < 150; ++Index)
            Scenario.Temp.Write("Films/" + std::string(240, 'x') + std::to_string(Index) + ".txt");
        return Scenario.MovieDir();
    };
    ForEachFailedRead(Prepare, [](TSynchScenario& Scenario, const Strings&) {
        EXPECT_TRUE(Scenario.Fake.Requests().empty()); // no movie was begun
        RunSynchronisation(Scenario.MovieDir(), true);
        Scenario.ExpectCompleteLibrary();
    });
}

TEST(LibraryFolderTest, WhatIsWrittenAfterAWaitIsDecidedFromTheFolderAsItIsAfterTheWait)
{
    const Strings MediaCentreFiles = {"movie.nfo", "movie.strm", "wmc.dvdid.xml", "movie.xml"};
    struct THeld // an answer the run waits for
    {
        std::string Host, Path, Query, Bytes;
    };
    const THeld MovieAnswer{AllocineApiHost, "/rest/v3/movie", "code=12345&",
                            AnswerData("allocine-movie-12345.json")};
    const THeld Poster{"images.allocine.test", "/medias/*", "", SynchData("poster-12345.jpg")};
    const THeld Backdrop{TmdbImageHost, "/t/p/original/*", "", SynchData("backdrop-garden.jpg")};
    struct TCase
    {
        std::string Awaited;
        Strings Missing; // before the run, so that it waits for the answer
        THeld Answer;
        bool Swapped; // the folder becomes a link to a user's folder, or its media-centre files go
    };
    for (const TCase& Case : std::vector<TCase>{
             {"the movie's answer", {"allocine.json"}, MovieAnswer, true},
             {"the movie's answer", {"allocine.json"}, MovieAnswer, false},
             {"the poster", {"folder.jpg"}, Poster, true},
             {"the backdrop", {"backdrop.jpg", "fanart.jpg", "tmdb.json"}, Backdrop, true},
         }) {
        SCOPED_TRACE(Case.Awaited + (Case.Swapped ? ": the folder swapped" : ": files removed"));
        TSynchScenario Scenario;
        Scenario.ScriptServices();
        Scenario.Temp.Write("Films/jardin #12345.avi", "movie 12345");
        RunSynchronisation(Scenario.MovieDir(), false);
        const std::string Folder = Scenario.Library(JardinDir);
        for (const std::string& Name : Case.Missing)
            ASSERT_TRUE(fs::remove(Folder + "/" + Name)) << Name;
        Scenario.Temp.Write("user/folder/mine.txt", "mine");
        const auto Before = Contents(Scenario.Temp / "user");

        std::atomic<bool> Held = false;
        FakeAnswer Late = FakeAnswer::File(Case.Answer.Bytes);
        Late.Meanwhile = [&] {
            Held = true;
            if (Case.Swapped) {
                fs::remove_all(Folder);
                fs::create_directory_symlink(Scenario.Temp / "user/folder", Folder);
            } else {
                for (const std::string& Name : MediaCentreFiles)
                    fs::remove(Folder + "/" + Name);
            }
        };
        Scenario.Fake.Answer(Case.Answer.Host, Case.Answer.Path, Late, 1, Case.Answer.Query);
        const Strings Lines = RunSynchronisation(Scenario.MovieDir(), false);

        ASSERT_TRUE(Held);
        if (Case.Swapped) {
            EXPECT_EQ(Contents(Scenario.Temp / "user"), Before);
            EXPECT_EQ(CountHolding(Lines, "Le dossier \"" + Folder +
                                              "\" de la bibliothèque est un lien ou n'est pas un dossier : "
                                              "rien n'y est lu ni écrit"),
                      1)
                << ::testing::PrintToString(Lines);
        } else {
            for (const std::string& Name : MediaCentreFiles) {
                const std::string Bytes = ReadWholeFile(Folder + "/" + Name);
                EXPECT_TRUE(Bytes != "<missing>" && !Bytes.empty()) << Name;
            }
        }
    }
}

} // namespace
