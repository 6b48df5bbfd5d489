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
#include <tuple>

// Points the global settings at a program "installed" in a temporary folder, and back afterwards.
class ConfigTest : public testing::Test
{
protected:
    ConfigTest() : FSaved(Config)
    {
        // Put together at run time so that this test program carries no stamp of its own.
        std::string Stamp = "ELF \x01VantryFileVersion?1.3.0.100\x01 ...";
        Stamp[Stamp.find('?')] = '=';
        Config = TConfig(Temp.Write("app/vantry", Stamp));
    }
    ~ConfigTest() override { Config = FSaved; }

    TempFolder Temp;
    TConfig FSaved;
};

TEST_F(ConfigTest, DerivesEverythingFromTheExecutablePath)
{
    EXPECT_EQ(Config.LogFile, Temp / "app/vantry.log");
    EXPECT_EQ(Config.Version, "1.3.0");
    EXPECT_TRUE(std::filesystem::is_directory(Temp / "app/Anomaly"));

    // The program as installed keeps the user's files in the user's data folder.
    const TConfig Installed(Temp / "app/vantry", Temp / "data/vantry");
    EXPECT_EQ(Installed.LogFile, Temp / "data/vantry/vantry.log");
    EXPECT_EQ(Installed.AnomalyDir, Temp / "data/vantry/Anomaly");
    EXPECT_EQ(Installed.IniFileName, Temp / "data/vantry/Vantry.ini");
    EXPECT_TRUE(std::filesystem::is_directory(Temp / "data/vantry/Cache"));
}

TEST_F(ConfigTest, UserDataFolderFollowsTheDesktopsVariables)
{
    const auto Saved = [](const char* Name) {
        return std::getenv(Name) ? std::string(std::getenv(Name)) : "-";
    };
    const std::string DataHome = Saved("XDG_DATA_HOME"), Home = Saved("HOME");
    const std::tuple<const char*, const char*, std::string> Cases[] = {
        {"/data", "/home/me", "/data/vantry"},
        {"relative", "/home/me", "/home/me/.local/share/vantry"},
        {nullptr, "/home/me/", "/home/me/.local/share/vantry"},
        {nullptr, nullptr, ""}};
    for (const auto& [XdgDataHome, UserHome, Expected] : Cases) {
        XdgDataHome ? setenv("XDG_DATA_HOME", XdgDataHome, 1) : unsetenv("XDG_DATA_HOME");
        UserHome ? setenv("HOME", UserHome, 1) : unsetenv("HOME");
        EXPECT_EQ(TConfig::UserDataDir(), Expected);
    }
    DataHome == "-" ? unsetenv("XDG_DATA_HOME") : setenv("XDG_DATA_HOME", DataHome.c_str(), 1);
    Home == "-" ? unsetenv("HOME") : setenv("HOME", Home.c_str(), 1);
}

TEST_F(ConfigTest, StartUpQueriesKeepTheDefaultOnAnyFailure)
{
    const std::string Download = std::string("http://") + VersionHost + "/version.php?sw=vantry&req=dl&ver=";
    const std::pair<FakeAnswer, std::string> Cases[] = {{FakeAnswer::Text("1.3.0"), ""},
                                                        {FakeAnswer::Text("1.4.0"), Download + "1.4.0"},
                                                        {FakeAnswer::Status(404), ""}};
    for (const auto& [Answer, Expected] : Cases) {
        FakeServices Fake;
        Fake.Answer(VersionHost, "/version.php", Answer, 1, "sw=vantry&req=check");
        EXPECT_EQ(Config.CheckUpdate(), Expected);
    }

    // A busy page instead of JSON keeps the default; the next, gzipped, answer is taken.
    FakeServices Fake;
    const std::string Key = std::string("api_key=") + TmdbApiKey;
    Fake.Answer(TmdbApiHost, "/3/configuration", FakeAnswer::Text("<html>busy</html>"), 1, Key);
    Fake.Answer(
        TmdbApiHost, "/3/configuration",
        FakeAnswer::Text(R"({"images":{"base_url":"http://pictures.example/t/p/"}})", FakeAnswer::Gzip), 1,
        Key);
    const std::string Default = Config.ImageBaseUrl;
    Config.LoadTmdbConfiguration();
    EXPECT_EQ(Config.ImageBaseUrl, Default);
    Config.LoadTmdbConfiguration();
    EXPECT_EQ(Config.GetImageUrl("w92", "/abc.jpg"), "http://pictures.example/t/p/w92/abc.jpg");
}

TEST_F(ConfigTest, StartUpQueriesGiveUpAtTheirDeadlineWhateverTheServicesDo)
{
    using namespace std::chrono_literals;
    const auto SavedPause = HttpObject.RetryPause;
    HttpObject.RetryPause = 1500ms;
    Config.StartUpQueryDeadline = 300ms;
    const std::string Default = Config.ImageBaseUrl, Images = R"({"images":{"base_url":"http://p.example/"}})";
    // Each would be taken, late: a trickle that ends, a silence, a busy
    // service that answers after its pause.
    const std::pair<FakeAnswer, FakeAnswer> Late[] = {
        {FakeAnswer::Trickle("9", 100ms, 15), FakeAnswer::Trickle(Images, 1500ms, 1)},
        {FakeAnswer::Slow(1500ms, "9.9.9"), FakeAnswer::Slow(1500ms, Images)},
        {FakeAnswer::Status(503), FakeAnswer::Status(503)}};
    for (const auto& [Version, Configuration] : Late) {
        FakeServices Fake;
        Fake.Answer(VersionHost, "/version.php", Version);
        Fake.Default(VersionHost, "/version.php", FakeAnswer::Text("9.9.9"));
        Fake.Answer(TmdbApiHost, "/3/configuration", Configuration);
        Fake.Default(TmdbApiHost, "/3/configuration", FakeAnswer::Text(Images));
        const auto Start = std::chrono::steady_clock::now();
        EXPECT_EQ(Config.CheckUpdate(), "");
        Config.LoadTmdbConfiguration();
        EXPECT_EQ(Config.ImageBaseUrl, Default);
        EXPECT_LT(std::chrono::steady_clock::now() - Start, 2s);
    }
    // The global client serves later requests as it did before.
    const THttpObject Fresh;
    EXPECT_FALSE(HttpObject.Aborted);
    EXPECT_EQ(HttpObject.AnswerDeadline, Fresh.AnswerDeadline);
    EXPECT_EQ(HttpObject.ConnectTimeout, Fresh.ConnectTimeout);
    HttpObject.RetryPause = SavedPause;
}

TEST_F(ConfigTest, LogLinesAreAppendedWithDateAndTime)
{
    const double When = DDKEncodeDate(2013, 3, 3) + DDKEncodeTime(14, 5, 9, 0);
    EXPECT_EQ(FormatLogLine(When, "Start"), "2013-03-03 14:05:09 | Start");
    // One message, one line: what could end or forge a line is written
    // escaped, its neighbours and bytes that are no UTF-8 as they stand.
    const std::pair<std::string, std::string> Escaped[] = {
        {"a\nb\rc\td", "a\\nb\\rc\\td"},
        {"\x01\x1B\x1F ~\x7F", "\\x01\\x1B\\x1F ~\\x7F"},                      // C0 controls, DEL
        {"\xC2\x80\xC2\x85\xC2\x9F\xC2\xA0", "\\u0080\\u0085\\u009F\xC2\xA0"}, // C1 controls
        {"\xE2\x80\xA7\xE2\x80\xA8\xE2\x80\xA9\xE2\x80\xAA",
         "\xE2\x80\xA7\\u2028\\u2029\xE2\x80\xAA"}, // separators
        {"\xE9t\xE9 \x85", "\xE9t\xE9 \x85"}};
    for (const auto& [Msg, Written] : Escaped)
        EXPECT_EQ(FormatLogLine(When, Msg), "2013-03-03 14:05:09 | " + Written);
    std::string Memo;
    WriteLog("first");
    WriteLog("second", [&](const std::string& Line) { Memo = Line; });
    const std::string Log = ReadWholeFile(Config.LogFile); // each line: date and time, " | ", text, CR LF
    ASSERT_EQ(Log.size(), 19 + 3 + 5 + 2 + 19 + 3 + 6 + 2);
    EXPECT_EQ(Log.substr(19, 10) + Log.substr(29 + 19), " | first\r\n | second\r\n");
    EXPECT_EQ(Memo, Log.substr(29, 28));
    Config.LogFile = Temp / "missing/vantry.log"; // cannot be written: raises
    EXPECT_THROW(WriteLog("lost"), EDDKError);
}

TEST_F(ConfigTest, OpenerGetsTheAddressAsOneArgumentAndIsReaped)
{
    const std::string Record = Temp / "opened.txt";
    const std::string Opener = // records its arguments, one per line
        Temp.Write("path/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + Record +
                                        ".part\" && /bin/mv \"" + Record + ".part\" \"" + Record + "\"\n");
    chmod(Opener.c_str(), 0755);
    const std::string SavedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (Temp / "path").c_str(), 1);
    const std::string Url = "http://example.org/a b;touch '" + (Temp / "injected") + "' $(id)";
    OpenUrl(Url);
    setenv("PATH", SavedPath.c_str(), 1);

    // No child is left to reap: the opener itself belongs to init.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    for (int Try = 0; Try < 500 && !std::filesystem::exists(Record); ++Try)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ReadWholeFile(Record), Url + "\n");
    EXPECT_FALSE(std::filesystem::exists(Temp / "injected"));
}

TEST_F(ConfigTest, AnOpenerThatCannotOpenRaisesItsReason)
{
    const std::string Url = "http://example.org/film";
    const std::string Prefix = "Impossible d'ouvrir \"" + Url + "\" : ";
    const std::string SavedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    // What the opener does (no file: missing), and the reason given.
    const std::tuple<const char*, std::string, mode_t> Cases[] = {
        {"", "le programme xdg-open est introuvable (paquet xdg-utils)", 0},
        {"#!/bin/sh\nexit 2\n", "le fichier n'existe pas", 0755},
        {"#!/bin/sh\nexit 3\n", "aucun programme n'est disponible pour l'ouvrir", 0755},
        {"#!/bin/sh\nexit 9\n", "xdg-open s'est terminé avec le code 9", 0755},
        {"#!/bin/sh\nexit 0\n", "xdg-open ne démarre pas : ", 0644},
    };
    int Case = 0;
    for (const auto& [Script, Reason, Mode] : Cases) {
        SCOPED_TRACE(Reason);
        const std::string Folder = "path" + std::to_string(++Case);
        Temp.MakeFolder(Folder);
        if (*Script)
            chmod(Temp.Write(Folder + "/xdg-open", Script).c_str(), Mode);
        setenv("PATH", (Temp / Folder).c_str(), 1);
        std::string Message;
        try {
            OpenUrl(Url);
        } catch (const EDDKError& Error) {
            Message = Error.what();
        }
        setenv("PATH", SavedPath.c_str(), 1);
        EXPECT_EQ(Message.substr(0, Prefix.size() + Reason.size()), Prefix + Reason);
    }
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1); // nothing left to reap
}
