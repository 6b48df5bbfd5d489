#include "DDKConversion.h"
#include "DDKError.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>

namespace {

// Values are compared to the millisecond.
void ExpectSameTime(TDateTime Actual, TDateTime Expected, const std::string& Context)
{
    EXPECT_NEAR(Actual, Expected, 0.5 / 86'400'000) << Context;
}

} // namespace

TEST(Conversion, CalendarRoundTripsAroundDayZero)
{
    EXPECT_EQ(DDKEncodeDate(1899, 12, 30), 0);
    EXPECT_EQ(DDKEncodeDate(1900, 1, 1), 2);
    EXPECT_EQ(DDKEncodeDate(2010, 5, 12), 40310);
    EXPECT_EQ(DDKEncodeDate(1899, 12, 29), -1);
    EXPECT_EQ(DDKEncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_EQ(DDKComposeDateTime(-1, 0.25), -1.25); // before day 0 the fraction still counts forward

    struct Case
    {
        int Year, Month, Day, Hour, Minute, Second, Millisecond;
    };
    const Case cases[] = {{1, 1, 1, 0, 0, 0, 0},           {1899, 12, 29, 6, 0, 0, 0},
                          {1899, 12, 30, 23, 59, 59, 999}, {2000, 2, 29, 12, 30, 15, 500},
                          {2011, 1, 5, 9, 4, 2, 0},        {9999, 12, 31, 23, 59, 59, 999}};
    for (const Case& c : cases) {
        const TDateTime value = DDKComposeDateTime(DDKEncodeDate(c.Year, c.Month, c.Day),
                                                   DDKEncodeTime(c.Hour, c.Minute, c.Second, c.Millisecond));
        int year, month, day, hour, minute, second, millisecond;
        DDKDecodeDate(value, year, month, day);
        DDKDecodeTime(value, hour, minute, second, millisecond);
        EXPECT_EQ((std::array{year, month, day, hour, minute, second, millisecond}),
                  (std::array{c.Year, c.Month, c.Day, c.Hour, c.Minute, c.Second, c.Millisecond}));
    }

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
    ExpectSameTime(DDKStringToDateTime("2010-05-12", false), DDKEncodeDate(2010, 5, 12), "date");
    ExpectSameTime(DDKStringToDateTime("2010-05-12 08:03:09", true),
                   DDKEncodeDate(2010, 5, 12) + DDKEncodeTime(8, 3, 9, 0), "date and time");
    ExpectSameTime(DDKStringToDateTime("08:03", false), DDKEncodeTime(8, 3, 0, 0), "time");
    ExpectSameTime(DDKStringToDateTime("23:59:58", false), DDKEncodeTime(23, 59, 58, 0), "time with seconds");
    ExpectSameTime(DDKStringToDateTime("1899-12-30 12:00:00", false), 0.5, "day zero");

    struct Case
    {
        const char* Text;
        const char* Message;
    };
    const Case cases[] = {
        {"2010-13-01", "DDKStringToDateTime : Invalid argument to date encode"},
        {"2011-02-29", "DDKStringToDateTime : Invalid argument to date encode"},
        {"0000-01-01", "DDKStringToDateTime : Invalid argument to date encode"},
        {"25:00", "DDKStringToDateTime : Invalid argument to time encode"},
        {"2010/05/12", "DDKStringToDateTime : The value \"2010/05/12\" is not a valid internal date value"},
        {"", "DDKStringToDateTime : The value \"\" has not a valid length"},
        {"2010-05-12T08:03:09",
         "DDKStringToDateTime : The value \"2010-05-12T08:03:09\" is not a valid internal datetime value"},
        {"2011-02-29 08:03:09", "DDKStringToDateTime : '2011-02-29 08:03:09' is not a valid date and time"},
        {"08h03", "DDKStringToDateTime : The value \"08h03\" is not a valid time value"},
        {" 8:03", "DDKStringToDateTime : The value \" 8:03\" is not a valid time value"}, // not trimmed
        {"08:03\xff", "DDKStringToDateTime : The value \"08:03\xff\" has not a valid length"},
    };
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

TEST(Conversion, BooleansNumbersAndStreams)
{
    for (const char* text : {"Yes", " OUI ", "\tTrue\r\n", "1", "yes"})
        EXPECT_TRUE(DDKStrToBool(text)) << text;
    for (const char* text : {"vrai", "0", "y", "", "ouí", "1 1"})
        EXPECT_FALSE(DDKStrToBool(text)) << text;

    struct Case
    {
        double Value;
        const char* Expected;
    };
    const Case cases[] = {{7.5, "7.5"},
                          {4, "4"},
                          {0.1, "0.1"},
                          {0.1 + 0.2, "0.3"},
                          {-2.25, "-2.25"},
                          {0, "0"},
                          {123456789012345.0, "123456789012345"},
                          {1e15, "1E15"},
                          {0.00001, "0.00001"},
                          {0.000001, "1E-6"},
                          {1.0 / 3, "0.333333333333333"},
                          {9.9999999999999999, "10"},
                          {NAN, "NAN"},
                          {-INFINITY, "-INF"}};
    for (const Case& c : cases)
        EXPECT_EQ(DDKFloatToStr(c.Value), c.Expected) << c.Value; // '.' although French writes a comma

    std::string text = "old";
    DDKStreamToString(std::string("a\0b\xff", 4), text);
    EXPECT_EQ(text, std::string("a\0b\xff", 4));
}
