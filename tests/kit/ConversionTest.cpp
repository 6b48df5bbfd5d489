#include "DDKConversion.h"
#include "DDKError.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>

TEST(Conversion, CalendarAroundDayZeroAndDatesAsText)
{
    EXPECT_EQ(DDKEncodeDate(2010, 5, 12), 40310);
    EXPECT_EQ(DDKComposeDateTime(-1, 0.25), -1.25); // before day 0 the fraction still counts forward
    for (const char* text :
         {"0001-01-01 00:00:00", "1899-12-29 06:00:00", "2000-02-29 12:30:15", "9999-12-31 23:59:59"})
        EXPECT_EQ(DDKDateTimeToString(1, DDKStringToDateTime(text, true)), text);
    for (const auto& date : {std::array{0, 1, 1}, {2011, 2, 29}, {2010, 4, 31}, {10000, 1, 1}})
        EXPECT_THROW(DDKEncodeDate(date[0], date[1], date[2]), EDDKError);

    const TDateTime value = DDKComposeDateTime(DDKEncodeDate(2011, 2, 5), DDKEncodeTime(7, 8, 9, 45));
    const char* forms[] = {"2011-02-05", "2011-02-05 07:08:09", "07:08:09", "07:08", "2011-02-05 07:08", ""};
    for (int form = 0; form < 6; ++form)
        EXPECT_EQ(DDKDateTimeToString(form, value), forms[form]);
    // Free formats take the French month and day names.
    EXPECT_EQ(DDKFormatDateTime("dddd dd mmm yyyy, d mmmm yy", value), "samedi 05 févr. 2011, 5 février 11");
    EXPECT_EQ(DDKFormatDateTime("\"le\" d/m 'à' hh'h'nn h:n:s.zzz", value), "le 5/2 à 07h08 7:8:9.045");
    // 23:59:59.9996 rounds to the next day, not to "24:00:00".
    EXPECT_EQ(DDKDateTimeToString(1, DDKEncodeDate(2011, 12, 31) + 0.9999999999), "2012-01-01 00:00:00");
    for (const double damaged : {double(NAN), double(INFINITY), -1e300, 3e6})
        EXPECT_EQ(DDKDateTimeToString(1, damaged), "1899-12-30 00:00:00") << damaged;
}

TEST(Conversion, StringToDateTimeReadsTheFourFormsOnly)
{
    EXPECT_EQ(DDKStringToDateTime("08:03", false), DDKEncodeTime(8, 3, 0, 0));
    for (const char* text : {"2010-13-01", "2010/05/12", "", "2011-02-29 08:03:09", " 8:03"}) {
        EXPECT_EQ(DDKStringToDateTime(text, false), 0) << text;
        EXPECT_THROW(DDKStringToDateTime(text, true), EDDKError) << text;
    }
}

TEST(Conversion, NumbersIgnoreTheLocale)
{
    // '.' although French writes a comma; 15 significant digits.
    EXPECT_EQ(DDKFloatToStr(-2.25) + " " + DDKFloatToStr(123456789012345.0) + " " + DDKFloatToStr(0.000001) +
                  " " + DDKFloatToStr(NAN),
              "-2.25 123456789012345 1E-6 NAN");
}

TEST(Conversion, StringToDateTimeTakesDigitsOnlyWhereTheFormHasThem)
{
    EXPECT_EQ(DDKStringToDateTime("2010-05-12", false), DDKEncodeDate(2010, 5, 12));
    EXPECT_EQ(DDKStringToDateTime("23:59:59", false), DDKEncodeTime(23, 59, 59, 0));
    EXPECT_EQ(DDKStringToDateTime("2010-05-12 23:59:59", false),
              DDKComposeDateTime(DDKEncodeDate(2010, 5, 12), DDKEncodeTime(23, 59, 59, 0)));
    // Each place of the form, broken once: a digit out of its range, a letter,
    // another separator, a digit of another script, a character of two bytes.
    for (const char* text :
         {"2010-25-12", "2010-05-42", "2a10-05-12", "2010-05-1x", "2010_05-12", "2010-05-1é", "30:00",
          "23:60", "23:59:60", "2010-05-12T23:59:59", "2010-05-12 23:59:5١", "23-59", "23:5 "}) {
        EXPECT_EQ(DDKStringToDateTime(text, false), 0) << text;
        EXPECT_THROW(DDKStringToDateTime(text, true), EDDKError) << text;
    }
}
