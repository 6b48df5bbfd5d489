#include "DDKSystem.h"

#include "TempFolder.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

// Sets or clears an environment variable for one test and puts it back after.
class TScopedEnv
{
public:
    TScopedEnv(const char* Name, const char* Value) : FName(Name)
    {
        if (const char* old = std::getenv(Name))
            FOld = old;
        if (Value)
            ::setenv(Name, Value, 1);
        else
            ::unsetenv(Name);
    }
    ~TScopedEnv()
    {
        if (FOld)
            ::setenv(FName, FOld->c_str(), 1);
        else
            ::unsetenv(FName);
    }

private:
    const char* FName;
    std::optional<std::string> FOld;
};

// A stamp for Version, put together at run time: written as one literal, the
// text would be in this test executable and found there instead of the real one.
std::string Stamp(const std::string& Version)
{
    std::string marker = "=noisreVeliFyrtnaV\x01";
    std::reverse(marker.begin(), marker.end());
    return marker + Version + "\x01";
}

} // namespace

TEST(System, ApplicationDataFolder)
{
    {
        TScopedEnv config("XDG_CONFIG_HOME", "/srv/conf");
        EXPECT_EQ(DDKGetSpecialFolder(DDKFolderAppData), "/srv/conf");
        EXPECT_EQ(DDKGetSpecialFolder(5), "");
    }
    TScopedEnv home("HOME", "/home/léa/");
    {
        TScopedEnv config("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(DDKGetSpecialFolder(DDKFolderAppData), "/home/léa/.config");
    }
    {
        TScopedEnv config("XDG_CONFIG_HOME", "relative/conf");
        EXPECT_EQ(DDKGetSpecialFolder(DDKFolderAppData), "/home/léa/.config");
    }
    TScopedEnv noHome("HOME", nullptr);
    TScopedEnv config("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(DDKGetSpecialFolder(DDKFolderAppData), "");
}

TEST(System, FileVersionIsReadFromTheExecutablesStamp)
{
    EXPECT_EQ(DDKGetFileVersion("/proc/self/exe"), VANTRY_VERSION);

    TempFolder root;
    // The marker alone, or with a malformed number, is not a version.
    EXPECT_EQ(DDKGetFileVersion(root.Write("plain.bin", std::string("no stamp\0here", 13))), "");
    EXPECT_EQ(DDKGetFileVersion(root.Write("cut.bin", Stamp("1.2"))), "");
    EXPECT_EQ(DDKGetFileVersion(root.Write("big.bin", Stamp("1.2.3.70000"))), "");
    EXPECT_EQ(DDKGetFileVersion(root.Write("ok.bin", "junk" + Stamp("") + Stamp("01.3.0.100"))), "1.3.0.100");
    EXPECT_EQ(DDKGetFileVersion(root / "missing.exe"), "");
    EXPECT_EQ(DDKGetFileVersion(root.Path().string()), "");
}
