#include "UnitConfig.h"

#include "DDKConversion.h"
#include "DDKError.h"
#include "FakeServices.h"
#include "HttpObject.h"
#include "LogWriter.h"
#include "ServiceSettings.h"
#include "TempFolder.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

namespace {

// Points the global settings at a program "installed" in a temporary folder
// and puts everything back afterwards.
class ConfigTest : public testing::Test
{
protected:
    ConfigTest() : FSaved(Config), FSavedPause(HttpObject.RetryPause)
    {
        Config = TConfig(Temp / "bin/vantry");
        HttpObject.RetryPause = std::chrono::milliseconds(1);
    }
    ~ConfigTest() override
    {
        Config = FSaved;
        HttpObject.RetryPause = FSavedPause;
    }

    TempFolder Temp;

private:
    TConfig FSaved;
    std::chrono::milliseconds FSavedPause;
};

TEST_F(ConfigTest, DerivesEverythingFromTheExecutablePath)
{
    const std::string Stamped =
        Temp.Write("app/vantry.bin", std::string("\x7F"
                                                 "ELF...\x01VantryFileVersion=1.3.0.100\x01..."));
    const std::string Plain = Temp.Write("app/other", "no stamp here");
    TConfig Settings(Stamped);
    EXPECT_EQ(Settings.AppPath, Temp / "app/");
    EXPECT_EQ(Settings.AnomalyDir, Temp / "app/Anomaly");
    EXPECT_EQ(Settings.CacheDir, Temp / "app/Cache");
    EXPECT_EQ(Settings.IniFileName, Temp / "app/Vantry.ini");
    EXPECT_EQ(Settings.LogFile, Temp / "app/vantry.log");
    EXPECT_EQ(Settings.Version, "1.3.0");
    EXPECT_EQ(Settings.ImageBaseUrl, std::string("http://") + TmdbImageHost + "/t/p/");
    EXPECT_TRUE(std::filesystem::is_directory(Settings.AnomalyDir));
    EXPECT_TRUE(std::filesystem::is_directory(Settings.CacheDir));
    EXPECT_FALSE(std::filesystem::exists(Settings.IniFileName));

    EXPECT_EQ(TConfig(Plain).Version, "");
    EXPECT_EQ(TConfig(Plain).LogFile, Temp / "app/other.log");
    // The test program itself carries the build's stamp.
    EXPECT_EQ(TConfig::RunningExecutable().empty(), false);
}

TEST_F(ConfigTest, UpdateCheckOffersOnlyAnotherVersion)
{
    Config.Version = "1.3.0";
    struct
    {
        const char* Name;
        FakeAnswer Answer;
        int Times;
        std::string Expected; // the version in the download address, or "" for none
        bool Offered;
    } Cases[] = {
        {"same version", FakeAnswer::Text("1.3.0"), 1, "", false},
        {"newer version", FakeAnswer::Text("1.4.0"), 1, "1.4.0", true},
        {"trailing line end", FakeAnswer::Text("1.3.0\r\n"), 1, "1.3.0\r\n", true},
        {"not found", FakeAnswer::Status(404), 1, "", false},
        {"always busy", FakeAnswer::Status(503), 5, "", false},
        {"server error", FakeAnswer::Status(500), 1, "", false},
        {"empty answer", FakeAnswer::Text(""), 1, "", false},
        {"dropped", FakeAnswer::Dropped(), 1, "", false},
    };
    for (auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        FakeServices Fake;
        Fake.Answer(VersionHost, "/version.php", Case.Answer, Case.Times);
        const std::string Url = Config.CheckUpdate();
        EXPECT_EQ(Url, Case.Offered ? std::string("http://") + VersionHost +
                                          "/version.php?sw=vantry&req=dl&ver=" + Case.Expected
                                    : "");
        ASSERT_GE(Fake.Requests().size(), 1u);
        EXPECT_EQ(Fake.Requests()[0].Query, "sw=vantry&req=check");
    }

    // Without a stamped version any answer is news.
    Config.Version.clear();
    FakeServices Fake;
    Fake.Answer(VersionHost, "/version.php", FakeAnswer::Text("1.3.0"));
    EXPECT_NE(Config.CheckUpdate(), "");
}

TEST_F(ConfigTest, PictureBaseAddressComesFromTmdbOrStays)
{
    const std::string Default = Config.ImageBaseUrl;
    const std::pair<const char*, FakeAnswer> Failures[] = {
        {"not JSON", FakeAnswer::Text("<html>busy</html>")},
        {"no images", FakeAnswer::Text(R"({"change_keys":[]})")},
        {"no base_url", FakeAnswer::Text(R"({"images":{"secure_base_url":"https://x/"}})")},
        {"base_url not text", FakeAnswer::Text(R"({"images":{"base_url":12}})")},
        {"not found", FakeAnswer::Status(404)},
        {"truncated", FakeAnswer::Text(R"({"images":{"base_url":"http://img.exa)")},
    };
    for (const auto& [Name, Answer] : Failures) {
        SCOPED_TRACE(Name);
        FakeServices Fake;
        Fake.Answer(TmdbApiHost, "/3/configuration", Answer);
        Config.LoadTmdbConfiguration();
        EXPECT_EQ(Config.ImageBaseUrl, Default);
    }

    FakeServices Fake;
    Fake.Answer(
        TmdbApiHost, "/3/configuration",
        FakeAnswer::Text(R"({"images":{"base_url":"http://pictures.example/t/p/","poster_sizes":["w92"]}})",
                         FakeAnswer::Gzip));
    Config.LoadTmdbConfiguration();
    EXPECT_EQ(Config.ImageBaseUrl, "http://pictures.example/t/p/");
    EXPECT_EQ(Config.GetImageUrl("w92", "/abc.jpg"), "http://pictures.example/t/p/w92/abc.jpg");
    ASSERT_EQ(Fake.Requests().size(), 1u);
    EXPECT_EQ(Fake.Requests()[0].Query, std::string("api_key=") + TmdbApiKey);
}

TEST_F(ConfigTest, LogLinesAreAppendedWithDateAndTime)
{
    EXPECT_EQ(FormatLogLine(DDKEncodeDate(2013, 3, 3) + DDKEncodeTime(14, 5, 9, 0), "Start"),
              "2013-03-03 14:05:09 | Start");

    std::string Memo;
    WriteLog("first");
    WriteLog("second", [&](const std::string& Line) { Memo += Line; });
    const std::string Log = ReadWholeFile(Config.LogFile);
    // "yyyy-mm-dd hh:nn:ss | " is 22 characters.
    ASSERT_EQ(Log.size(), 2 * 22 + 5 + 6 + 4);
    EXPECT_EQ(Log.substr(19, 8), " | first");
    EXPECT_EQ(Log.substr(27, 2), "\r\n");
    EXPECT_EQ(Log.substr(Log.size() - 11), " | second\r\n");
    EXPECT_EQ(Memo, Log.substr(29, Log.size() - 31));

    // A log that cannot be written raises and the memo hears nothing.
    Config.LogFile = Temp / "missing/vantry.log";
    Memo.clear();
    try {
        WriteLog("lost", [&](const std::string& Line) { Memo = Line; });
        FAIL() << "no error";
    } catch (const EDDKError& Error) {
        EXPECT_EQ(std::string(Error.what()).rfind("[DDKWriteLine][FileName=" + Config.LogFile + "] ", 0), 0u)
            << Error.what();
    }
    EXPECT_EQ(Memo, "");
}

TEST_F(ConfigTest, OpenerGetsTheAddressAsOneArgumentAndIsReaped)
{
    // A stand-in opener that records its arguments, one per line.
    const std::string Record = Temp / "opened.txt";
    const std::string Opener =
        Temp.Write("path/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + Record +
                                        ".part\" && /bin/mv \"" + Record + ".part\" \"" + Record + "\"\n");
    chmod(Opener.c_str(), 0755);
    const char* OldPath = std::getenv("PATH");
    const std::string SavedPath = OldPath ? OldPath : "";
    setenv("PATH", (Temp / "path").c_str(), 1);

    const std::string Url = "http://example.org/a b;touch '" + (Temp / "injected") + "' $(id)";
    OpenUrl(Url);
    setenv("PATH", SavedPath.c_str(), 1);

    // The intermediate child is already reaped; the opener belongs to init.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    // The opener runs on its own; wait (bounded) for its record.
    for (int Try = 0; Try < 500 && !std::filesystem::exists(Record); ++Try)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ReadWholeFile(Record), Url + "\n");
    EXPECT_FALSE(std::filesystem::exists(Temp / "injected"));
}

} // namespace
