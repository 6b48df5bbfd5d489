#include "DDKSystem.h"

#include "TempFolder.h"

#include <cstdlib>
#include <gtest/gtest.h>

TEST(System, ApplicationDataFolder)
{
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("XDG_CONFIG_HOME", "/srv/conf/", 1);
    EXPECT_EQ(DDKGetSpecialFolder(DDKFolderAppData), "/srv/conf");
    ::setenv("XDG_CONFIG_HOME", "relative/conf", 1); // ignored: it must be absolute
    ::setenv("HOME", "/home/léa/", 1);
    EXPECT_EQ(DDKGetSpecialFolder(DDKFolderAppData), "/home/léa/.config");
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", home.c_str(), 1);
}

TEST(System, FileVersionIsReadFromTheExecutablesStamp)
{
    EXPECT_EQ(DDKGetFileVersion("/proc/self/exe"), VANTRY_VERSION);
    // Put together at run time, or this executable would carry the stamp.
    std::string marker = "\x01VantryFileVersion?";
    marker.back() = '=';
    TempFolder root;
    EXPECT_EQ(DDKGetFileVersion(root.Write("cut", marker + "1.2")), "");
    EXPECT_EQ(DDKGetFileVersion(root.Write("big", marker + "1.2.3.70000\x01")), "");
    EXPECT_EQ(DDKGetFileVersion(root.Write("ok", marker + "\x01" + marker + "01.3.0.100\x01")), "1.3.0.100");
    EXPECT_EQ(DDKGetFileVersion(root.Path().string()), "");
}
