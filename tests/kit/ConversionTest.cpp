#include "DDKConversion.h"
#include "DDKError.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <utility>

TEST(Conversion, CalendarAroundDayZeroAndTheFixedForms)
{
    EXPECT_EQ(DDKEncodeDate(1899, 12, 30), 0);
    EXPECT_EQ(DDKEncodeDate(2010, 5, 12), 40310);
    EXPECT_EQ(DDKComposeDateTime(-1, 0.25), -1.25); // before day 0 the fraction still counts forward
    for (const char* text :
         {"0001-01-01 00:00:00", "1899-12-29 06:00:00", "2000-02-29 12:30:15", "9999-12-31 23:59:59"})
        EXPECT_EQ(DDKDateTimeToString(1, DDKStringToDateTime(text, true)), text);
    for (const auto& date : {std::array{0, 1, 1}, {2011, 2, 29}, {2010, 13, 1}, {2010, 4, 31}, {10000, 1, 1}})
        EXPECT_THROW(DDKEncodeDate(date[0], date[1], date[2]), EDDKError);

    const TDateTime value = DDKComposeDateTime(DDKEncodeDate(2011, 1, 5), DDKEncodeTime(9, 4, 2, 0));
    const char* forms[] = {"2011-01-05", "2011-01-05 09:04:02", "09:04:02", "09:04", "2011-01-05 09:04", ""};
    for (int form = 0; form < 6; ++form)
        EXPECT_EQ(DDKDateTimeToString(form, value), forms[form]);
    // 23:59:59.9996 rounds to the next day, not to "24:00:00".
    EXPECT_EQ(DDKDateTimeToString(1, DDKEncodeDate(2011, 12, 31) + 0.9999999999), "2012-01-01 00:00:00");
    // Values that name no day come out as day 0 instead of overflowing.
    for (const double damaged : {double(NAN), double(INFINITY), -1e300, 3e6})
        EXPECT_EQ(DDKDateTimeToString(1, damaged), "1899-12-30 00:00:00") << damaged;
}

TEST(Conversion, FormatDateTimeFollowsTheFrenchLocale)
{
    const TDateTime value = DDKComposeDateTime(DDKEncodeDate(2011, 2, 5), DDKEncodeTime(7, 8, 9, 45));
    EXPECT_EQ(DDKFormatDateTime("d mmmm yyyy", value), "5 février 2011");
    EXPECT_EQ(DDKFormatDateTime("dddd dd mmm yy", value), "samedi 05 févr. 11");
    EXPECT_EQ(DDKFormatDateTime("\"le\" d/m 'à' hh'h'nn h:n:s.zzz", value), "le 5/2 à 07h08 7:8:9.045");
}

TEST(Conversion, StringToDateTimeReadsTheFourFormsOnly)
{
    EXPECT_EQ(DDKStringToDateTime("2010-05-12", false), 40310);
    EXPECT_EQ(DDKStringToDateTime("08:03", false), DDKEncodeTime(8, 3, 0, 0));
    const std::pair<const char*, const char*> cases[] = {
        {"2010-13-01", "Invalid argument to date encode"},
        {"2010/05/12", "The value \"2010/05/12\" is not a valid internal date value"},
        {"", "The value \"\" has not a valid length"},
        {"2011-02-29 08:03:09", "'2011-02-29 08:03:09' is not a valid date and time"},
        {" 8:03", "The value \" 8:03\" is not a valid time value"}}; // not trimmed
    for (const auto& [text, message] : cases) {
        EXPECT_EQ(DDKStringToDateTime(text, false), 0) << text;
        try {
            DDKStringToDateTime(text, true);
            ADD_FAILURE() << text;
        } catch (const EDDKError& error) {
            EXPECT_EQ(std::string(error.what()), std::string("DDKStringToDateTime : ") + message);
        }
    }
}

TEST(Conversion, BooleansAndNumbers)
{
    for (const char* text : {" OUI ", "\tTrue\r\n", "1", "yes"})
        EXPECT_TRUE(DDKStrToBool(text)) << text;
    for (const char* text : {"vrai", "0", "y", "", "1 1"})
        EXPECT_FALSE(DDKStrToBool(text)) << text;
    // '.' although French writes a comma; 15 significant digits.
    EXPECT_EQ(DDKFloatToStr(7.5) + " " + DDKFloatToStr(-2.25) + " " + DDKFloatToStr(123456789012345.0) + " " +
                  DDKFloatToStr(0.000001) + " " + DDKFloatToStr(NAN),
              "7.5 -2.25 123456789012345 1E-6 NAN");
}
