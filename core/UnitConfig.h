// The program's settings: where it runs, the folders and files it keeps for
// the user (anomaly records, thumbnails, the log), its own version and the
// base address of TMDb's pictures. Nothing of the user's choices is kept
// between runs.
#pragma once

#include <chrono>
#include <string>

class TConfig
{
public:
    // Nothing derived yet: only the default picture base address.
    TConfig();
    // Derives every folder and file from the executable's full path, creates
    // the Anomaly and Cache folders (a failure shows later, when they are
    // written) and reads the version stamped in the executable.
    explicit TConfig(const std::string& ExeName);
    // The same, but the folders and files kept for the user go into DataDir
    // (created when missing) instead of beside the executable, which an
    // installed program cannot write and a rebuild wipes. The version is still
    // read from ExeName.
    TConfig(const std::string& ExeName, const std::string& DataDir);

    // The user's data folder of the program: $XDG_DATA_HOME/vantry, else
    // $HOME/.local/share/vantry; "" when neither variable is usable.
    static std::string UserDataDir();

    // Full path of the running executable.
    static std::string RunningExecutable();

    // The download page of a newer version, or empty (also on any failure).
    std::string CheckUpdate() const;
    // Replaces ImageBaseUrl with the one TMDb's configuration gives; keeps the
    // current value on any failure.
    void LoadTmdbConfiguration();
    // The longest either of the two start-up queries above may take, retries
    // included; one that takes longer has failed. The main window waits for
    // both before it shows.
    std::chrono::milliseconds StartUpQueryDeadline{5000};
    // ImageBaseUrl + Size ("original", "w92") + Path (begins with "/").
    std::string GetImageUrl(const std::string& Size, const std::string& Path) const;

    std::string AnomalyDir;   // data folder + "Anomaly"
    std::string AppPath;      // the executable's folder, with a trailing '/'
    std::string IniFileName;  // data folder + "Vantry.ini": named, never read, written or created
    std::string LogFile;      // data folder + the executable's name with ".log" for its extension
    std::string CacheDir;     // data folder + "Cache"
    std::string Version;      // "a.b.c" from the executable's stamp; empty without one
    std::string ImageBaseUrl; // "http://<TMDb picture host>/t/p/" until LoadTmdbConfiguration
};

// The one settings object. The program's start-up assigns
// TConfig(TConfig::RunningExecutable(), TConfig::UserDataDir()) before its
// first window and before any worker starts; afterwards every thread reads it and none changes it. Tests
// assign one derived from a path in a temporary folder.
extern TConfig Config;
