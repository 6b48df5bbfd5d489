#include "VolumeInfo.h"

#include "DDKRegExpr.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

namespace {

TEST(GetVolumeInfo, SerialOfTheFileSystemHoldingThePath)
{
    TempFolder Temp;
    const std::string Movie = Temp.Write("films/Alien.avi", "x");

    std::string Label, Serial;
    GetVolumeInfo(Movie, Label, Serial);
    EXPECT_TRUE(DDKMatchWhole(Serial, "[0-9A-F]{4}-[0-9A-F]{4}", true, true)) << Serial;

    // Every path of the same file system, even one not written yet, gives the
    // same values.
    for (const std::string& Other : {Temp / "films", Temp / "films/not yet/here.mkv"}) {
        std::string OtherLabel, OtherSerial;
        GetVolumeInfo(Other, OtherLabel, OtherSerial);
        EXPECT_EQ(OtherSerial, Serial) << Other;
        EXPECT_EQ(OtherLabel, Label) << Other;
    }
}

TEST(GetVolumeInfo, NothingReadableGivesEmptyValues)
{
    std::string Label = "old", Serial = "old";
    GetVolumeInfo("", Label, Serial);
    EXPECT_EQ(Label, "");
    EXPECT_EQ(Serial, "");
}

} // namespace
