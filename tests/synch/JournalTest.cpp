// Renames and their journal lines when the journal cannot take them (a full
// disc under the log): no file keeps a new name that nothing records.
#include "DDKFiles.h"
#include "SynchRun.h"
#include "SynchScenario.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

bool IsJournalLine(const std::string& Line)
{
    return Line.find(" /OK #") != std::string::npos;
}

struct JournalTest : ::testing::Test
{
    TSynchScenario Scenario;
    int JournalAttempts = 0;

    void SetUp() override
    {
        Scenario.ScriptServices();
        Scenario.CreateMovieFiles();
    }

    // The movie files outside the library, by path.
    std::set<std::string> MovieFiles() const
    {
        std::set<std::string> Names;
        for (const auto& Entry : fs::recursive_directory_iterator(Scenario.MovieDir()))
            if (Entry.is_regular_file() && Entry.path().string().find("/@Vantry/") == std::string::npos)
                Names.insert(Entry.path().string());
        return Names;
    }

    // A log whose journal lines fail, as on a full disc; with Everything, so
    // do all the others. Lines it takes are kept in Lines.
    std::function<void(TSynchThread&)> FailingLog(bool Everything, Strings& Lines,
                                                  std::function<void(const std::string&)> Watch = {})
    {
        return [this, Everything, &Lines, Watch](TSynchThread& Worker) {
            Worker.OnLog = [this, Everything, &Lines, Watch](const std::string& Line) {
                if (Watch)
                    Watch(Line);
                JournalAttempts += IsJournalLine(Line);
                if (Everything || IsJournalLine(Line))
                    throw std::runtime_error("No space left on device");
                Lines.push_back(Line);
            };
        };
    }
};

TEST_F(JournalTest, ARenameThatCannotBeJournalledIsTakenBackAndEndsRenamingForTheRun)
{
    const std::set<std::string> Before = MovieFiles();
    for (const bool Everything : {false, true}) {
        SCOPED_TRACE(Everything ? "no line can be written" : "only journal lines fail");
        JournalAttempts = 0;
        Strings Lines;
        // When the line is handed over, the playlist still names the file by its old name.
        const auto OldNameListed = [this](const std::string& Line) {
            if (!IsJournalLine(Line))
                return;
            const std::string Old = Line.substr(1, Line.find("\" /OK") - 1);
            for (const std::string& Folder : Scenario.LibraryFolders())
                for (const std::string& Entry : PlaylistEntries(Scenario.Library(Folder) + "/movie.asx"))
                    if (Entry == Old)
                        return;
            ADD_FAILURE() << "the playlist no longer names " << Old;
        };
        RunSynchronisation(Scenario.MovieDir(), true, FailingLog(Everything, Lines, OldNameListed));
        EXPECT_EQ(MovieFiles(), Before);
        EXPECT_EQ(JournalAttempts, 1);
        if (!Everything) {
            // The movie says why; the next ones are synchronised without a rename.
            EXPECT_EQ(CountHolding(Lines, "n'a pas pu être inscrit au journal (No space left on device) : le "
                                          "fichier a repris son nom"),
                      1)
                << ::testing::PrintToString(Lines);
            EXPECT_EQ(Scenario.LibraryFolders(), (Strings{AlienDir, AmelieDir, JardinDir}));
        }
    }

    // A single movie finished by hand, likewise.
    Strings Lines;
    const auto ByHand = FailingLog(false, Lines);
    JournalAttempts = 0;
    RunSynchronisation(Scenario.LibraryDir(), true, [&](TSynchThread& Worker) {
        ByHand(Worker);
        Worker.Mode = ModeAnomalyAllocine;
        Worker.Code = 61282;
        Worker.Movie = std::make_unique<TMovieInfo>();
        Worker.Movie->SetFileName(Scenario.Movie("avatar 2009.avi"));
    });
    EXPECT_EQ(JournalAttempts, 1);
    EXPECT_EQ(MovieFiles(), Before);
    ASSERT_EQ(Lines.size(), 1u);
    EXPECT_TRUE(Lines[0].starts_with("\"" + Scenario.Movie("avatar 2009.avi") +
                                     "\" /ERROR #61282 > [TSynchThread.Execute] [TSynchThread.SaveMovieInfo] "
                                     "Le renommage en \"Avatar ("))
        << Lines[0];

    // Once the journal can be written, every rename is done and journalled.
    Strings Journal = RunSynchronisation(Scenario.MovieDir(), true);
    std::erase_if(Journal, [](const std::string& Line) { return !IsJournalLine(Line); });
    std::sort(Journal.begin(), Journal.end());
    EXPECT_EQ(Journal, Scenario.RenameLines());
}

TEST_F(JournalTest, TheLinkRepairJournalsARenameBeforeThePlaylistForgetsTheOldName)
{
    RunSynchronisation(Scenario.MovieDir(), false);
    // A run stopped right after renaming the file, before its line and its playlist.
    const std::string Line = Scenario.RenameLines()[3];
    const std::string Old = Scenario.Movie("Le Jardin oublie 1972 DVDRip XviD FRENCH.avi");
    const std::string NewName = Line.substr(Line.rfind(" \"") + 2, Line.size() - Line.rfind(" \"") - 3);
    const std::string Renamed = Scenario.Movie(NewName);
    const std::string Playlist = Scenario.Library(JardinDir) + "/movie.asx";
    ASSERT_TRUE(DDKRenameNoReplace(Old, Renamed));

    for (const bool Everything : {false, true}) {
        SCOPED_TRACE(Everything ? "no line can be written" : "only journal lines fail");
        Strings Lines;
        RunSynchronisation(Scenario.MovieDir(), true, FailingLog(Everything, Lines, [&](const std::string&) {
                               EXPECT_EQ(PlaylistEntries(Playlist), Strings{Old});
                           }));
        EXPECT_EQ(ReadWholeFile(Old), "movie 12345");
        EXPECT_FALSE(fs::exists(Renamed));
        EXPECT_EQ(PlaylistEntries(Playlist), Strings{Old});
        EXPECT_TRUE(fs::exists(Scenario.Library(JardinDir) + "/allocine.json"));
        if (!Everything) {
            EXPECT_EQ(CountHolding(Lines, "[TSynchThread.Execute] Le renommage en \"" + NewName +
                                              "\" n'a pas pu être inscrit au journal"),
                      1)
                << ::testing::PrintToString(Lines);
        }
        ASSERT_TRUE(DDKRenameNoReplace(Old, Renamed));
    }

    // With a journal that works, the line comes first, then the playlist follows.
    Strings Lines;
    RunSynchronisation(Scenario.MovieDir(), false, [&](TSynchThread& Worker) {
        Worker.OnLog = [&](const std::string& Logged) {
            if (IsJournalLine(Logged)) {
                EXPECT_EQ(PlaylistEntries(Playlist), Strings{Old});
            }
            Lines.push_back(Logged);
        };
    });
    EXPECT_EQ(CountHolding(Lines, Line), 1);
    EXPECT_EQ(PlaylistEntries(Playlist), Strings{Renamed});
}

} // namespace
