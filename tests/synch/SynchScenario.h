// A movie folder, the program's own folders and the fake services, set up the
// way a user's first synchronisation meets them: shared by the end-to-end
// tests and the kill test.
#pragma once

#include "FakeServices.h"
#include "TempFolder.h"
#include "UnitConfig.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

// Size, change time and inode per file: two looks tell whether anything was written.
using TTreeState = std::map<std::string, std::tuple<std::uintmax_t, std::int64_t, std::uint64_t>>;
TTreeState ReadTreeState(const std::string& Folder);
std::vector<std::string> PlaylistEntries(const std::string& AsxFile);

class TSynchScenario
{
public:
    TSynchScenario();
    ~TSynchScenario();

    void CreateMovieFiles() const; // in MovieDir, old ones removed
    void ScriptServices();         // answers for every request the movies lead to

    std::string MovieDir() const { return Temp / "Films"; }
    std::string LibraryDir() const { return MovieDir() + "/@Vantry"; }
    std::string DvdInfoCacheDir() const { return Temp / "config/Microsoft/eHome/DvdInfoCache"; }
    std::string Movie(const std::string& Name) const { return MovieDir() + "/" + Name; }
    std::string Library(const std::string& Name) const { return LibraryDir() + "/" + Name; }
    std::vector<std::string> LibraryFolders() const; // sorted
    bool IsNoiseFailure(const std::string& Line) const;

    // Every movie that can be identified has its whole library folder, with
    // the answers and pictures byte for byte, and every other one its record.
    // Interrupted: a run killed after the backdrop was saved may have left the
    // TMDb record unkept; the pictures alone end the search, so it stays so.
    void ExpectCompleteLibrary(bool Interrupted = false) const;

    TempFolder Temp;
    FakeServices Fake;

private:
    TConfig FSavedConfig;
    std::optional<std::string> FSavedConfigHome;
};

inline const std::string JardinDir = "Le Jardin oublié (1972) #12345";
inline const std::string AlienDir = "Alien, le huitième passager (1979) #2001";
inline const std::string AmelieDir = "Amélie & Nino Paris (2001) #3003";

inline const auto SynchData = [](const std::string& Name) { return VANTRY_TEST_DATA "/synch/" + Name; };
inline const auto AnswerData = [](const std::string& Name) { return VANTRY_TEST_DATA "/answers/" + Name; };
