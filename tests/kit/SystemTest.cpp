#include "DDKSystem.h"

#include "TempFolder.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

TEST(System, ApplicationDataFolder)
{
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("XDG_CONFIG_HOME", "/srv/conf", 1);
    EXPECT_EQ(DDKGetSpecialFolder(DDKFolderAppData), "/srv/conf");
    EXPECT_EQ(DDKGetSpecialFolder(5), "");
    ::setenv("XDG_CONFIG_HOME", "relative/conf", 1); // ignored, as it must be absolute
    ::setenv("HOME", "/home/léa/", 1);
    EXPECT_EQ(DDKGetSpecialFolder(DDKFolderAppData), "/home/léa/.config");
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("HOME");
    EXPECT_EQ(DDKGetSpecialFolder(DDKFolderAppData), "");
    ::setenv("HOME", home.c_str(), 1);
}

TEST(System, FileVersionIsReadFromTheExecutablesStamp)
{
    EXPECT_EQ(DDKGetFileVersion("/proc/self/exe"), VANTRY_VERSION);

    // Put together at run time: as one literal, a stamp would sit in this
    // executable and be found there.
    std::string marker = "=noisreVeliFyrtnaV\x01";
    std::reverse(marker.begin(), marker.end());
    TempFolder root;
    const struct
    {
        std::string Content;
        const char* Version;
    } cases[] = {
        {std::string("no stamp\0here", 13), ""},
        {marker + "1.2", ""},
        {marker + "1.2.3.70000\x01", ""},
        {"junk" + marker + "\x01" + marker + "01.3.0.100\x01", "1.3.0.100"},
    };
    for (const auto& test : cases)
        EXPECT_EQ(DDKGetFileVersion(root.Write("file.bin", test.Content)), test.Version) << test.Content;
    EXPECT_EQ(DDKGetFileVersion(root / "missing.exe"), "");
    EXPECT_EQ(DDKGetFileVersion(root.Path().string()), "");
}
