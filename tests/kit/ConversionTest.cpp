#include "DDKConversion.h"
#include "DDKError.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <utility>

TEST(Conversion, CalendarRoundTripsAroundDayZero)
{
    EXPECT_EQ(DDKEncodeDate(1899, 12, 30), 0);
    EXPECT_EQ(DDKEncodeDate(1900, 1, 1), 2);
    EXPECT_EQ(DDKEncodeDate(2010, 5, 12), 40310);
    EXPECT_EQ(DDKEncodeDate(1899, 12, 29), -1);
    EXPECT_EQ(DDKEncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_EQ(DDKComposeDateTime(-1, 0.25), -1.25); // before day 0 the fraction still counts forward

    for (const char* text : {"0001-01-01 00:00:00", "1899-12-29 06:00:00", "1899-12-30 23:59:59",
                             "2000-02-29 12:30:15", "9999-12-31 23:59:59"})
        EXPECT_EQ(DDKDateTimeToString(1, DDKStringToDateTime(text, true)), text);

    for (const auto& date : {std::array{0, 1, 1}, {2011, 2, 29}, {2010, 13, 1}, {2010, 4, 31}, {10000, 1, 1}})
        EXPECT_THROW(DDKEncodeDate(date[0], date[1], date[2]), EDDKError);
    EXPECT_THROW(DDKEncodeTime(24, 0, 0, 0), EDDKError);
    EXPECT_THROW(DDKEncodeTime(0, 60, 0, 0), EDDKError);
    EXPECT_THROW(DDKEncodeTime(0, 0, 0, 1000), EDDKError);
}

TEST(Conversion, DateTimeToStringUsesTheFixedForms)
{
    const TDateTime value = DDKComposeDateTime(DDKEncodeDate(2011, 1, 5), DDKEncodeTime(9, 4, 2, 0));
    EXPECT_EQ(DDKDateTimeToString(0, value), "2011-01-05");
    EXPECT_EQ(DDKDateTimeToString(1, value), "2011-01-05 09:04:02");
    EXPECT_EQ(DDKDateTimeToString(2, value), "09:04:02");
    EXPECT_EQ(DDKDateTimeToString(3, value), "09:04");
    EXPECT_EQ(DDKDateTimeToString(4, value), "2011-01-05 09:04");
    EXPECT_EQ(DDKDateTimeToString(5, value), "");
    // 23:59:59.9996 rounds to the next day, not to "24:00:00".
    EXPECT_EQ(DDKDateTimeToString(1, DDKEncodeDate(2011, 12, 31) + 0.9999999999), "2012-01-01 00:00:00");
    // Values that name no day come out as day 0 instead of overflowing.
    for (const double damaged : {double(NAN), double(INFINITY), 1e300, -1e300, 3e6})
        EXPECT_EQ(DDKDateTimeToString(1, damaged), "1899-12-30 00:00:00") << damaged;
}

TEST(Conversion, FormatDateTimeFollowsTheFrenchLocale)
{
    const TDateTime value = DDKComposeDateTime(DDKEncodeDate(2011, 2, 5), DDKEncodeTime(7, 8, 9, 45));
    EXPECT_EQ(DDKFormatDateTime("dd mmmm yyyy", value), "05 février 2011");
    EXPECT_EQ(DDKFormatDateTime("d mmmm yyyy", value), "5 février 2011");
    EXPECT_EQ(DDKFormatDateTime("dddd d mmm yy", value), "samedi 5 févr. 11");
    EXPECT_EQ(DDKFormatDateTime("h:n:s.zzz", value), "7:8:9.045");
    EXPECT_EQ(DDKFormatDateTime("\"le\" d/m 'à' hh'h'nn", value), "le 5/2 à 07h08");
    EXPECT_EQ(DDKFormatDateTime("d mmmm yyyy", DDKEncodeDate(2010, 8, 15)), "15 août 2010");
}

TEST(Conversion, StringToDateTimeReadsTheFourFormsOnly)
{
    EXPECT_EQ(DDKStringToDateTime("2010-05-12", false), 40310);
    EXPECT_EQ(DDKStringToDateTime("2010-05-12 08:03:09", true), 40310 + DDKEncodeTime(8, 3, 9, 0));
    EXPECT_EQ(DDKStringToDateTime("08:03", false), DDKEncodeTime(8, 3, 0, 0));
    EXPECT_EQ(DDKStringToDateTime("1899-12-30 12:00:00", false), 0.5);

    struct Case
    {
        const char* Text;
        const char* Message;
    };
    const Case cases[] = {
        {"2010-13-01", "DDKStringToDateTime : Invalid argument to date encode"},
        {"2011-02-29", "DDKStringToDateTime : Invalid argument to date encode"},
        {"25:00", "DDKStringToDateTime : Invalid argument to time encode"},
        {"2010/05/12", "DDKStringToDateTime : The value \"2010/05/12\" is not a valid internal date value"},
        {"", "DDKStringToDateTime : The value \"\" has not a valid length"},
        {"2010-05-12T08:03:09",
         "DDKStringToDateTime : The value \"2010-05-12T08:03:09\" is not a valid internal datetime value"},
        {"2011-02-29 08:03:09", "DDKStringToDateTime : '2011-02-29 08:03:09' is not a valid date and time"},
        {" 8:03", "DDKStringToDateTime : The value \" 8:03\" is not a valid time value"}, // not trimmed
        {"08:03\xff", "DDKStringToDateTime : The value \"08:03\xff\" has not a valid length"}};
    for (const Case& c : cases) {
        EXPECT_EQ(DDKStringToDateTime(c.Text, false), 0) << c.Text;
        try {
            DDKStringToDateTime(c.Text, true);
            ADD_FAILURE() << c.Text;
        } catch (const EDDKError& error) {
            EXPECT_EQ(std::string(error.what()), c.Message);
        }
    }
}

TEST(Conversion, BooleansAndNumbers)
{
    for (const char* text : {"Yes", " OUI ", "\tTrue\r\n", "1", "yes"})
        EXPECT_TRUE(DDKStrToBool(text)) << text;
    for (const char* text : {"vrai", "0", "y", "", "ouí", "1 1"})
        EXPECT_FALSE(DDKStrToBool(text)) << text;

    // '.' although French writes a comma; 15 significant digits.
    for (const auto& [value, expected] :
         std::initializer_list<std::pair<double, const char*>>{{7.5, "7.5"},
                                                               {4, "4"},
                                                               {0.1 + 0.2, "0.3"},
                                                               {-2.25, "-2.25"},
                                                               {123456789012345.0, "123456789012345"},
                                                               {1e15, "1E15"},
                                                               {0.00001, "0.00001"},
                                                               {0.000001, "1E-6"},
                                                               {9.9999999999999999, "10"},
                                                               {NAN, "NAN"}})
        EXPECT_EQ(DDKFloatToStr(value), expected) << value;
}
