#include "VolumeInfo.h"

#include "DDKRegExpr.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

TEST(GetVolumeInfo, SerialOfTheFileSystemHoldingThePath)
{
    TempFolder Temp;
    std::string Label, Serial;
    GetVolumeInfo(Temp.Write("films/Alien.avi", "x"), Label, Serial);
    EXPECT_TRUE(DDKMatchWhole(Serial, "[0-9A-F]{4}-[0-9A-F]{4}", true, true)) << Serial;

    // A path not written yet lies on the file system of its nearest folder.
    std::string OtherLabel, OtherSerial;
    GetVolumeInfo(Temp / "films/not yet/here.mkv", OtherLabel, OtherSerial);
    EXPECT_EQ(OtherLabel + "|" + OtherSerial, Label + "|" + Serial);
    GetVolumeInfo("", Label, Serial);
    EXPECT_EQ(Label + Serial, "");
}
