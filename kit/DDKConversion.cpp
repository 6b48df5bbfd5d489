#include "DDKConversion.h"

#include "DDKError.h"
#include "DDKStrings.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <iterator>

namespace {

constexpr std::int64_t MillisecondsPerDay = 86'400'000;

// Days from 1970-01-01 to the given day of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t Year, unsigned Month, unsigned Day)
{
    Year -= Month <= 2;
    const std::int64_t era = (Year >= 0 ? Year : Year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(Year - era * 400);
    const unsigned dayOfYear = (153 * (Month > 2 ? Month - 3 : Month + 9) + 2) / 5 + Day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

void CivilFromDays(std::int64_t Days, int& Year, int& Month, int& Day)
{
    Days += 719468;
    const std::int64_t era = (Days >= 0 ? Days : Days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(Days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    Day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    Month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    Year = static_cast<int>(static_cast<std::int64_t>(yearOfEra) + era * 400 + (Month <= 2));
}

const std::int64_t DaysBeforeDayZero = DaysFromCivil(1899, 12, 30); // 1899-12-30 is day 0

bool IsLeapYear(int Year)
{
    return Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0);
}

int DaysInMonth(int Year, int Month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return Month == 2 && IsLeapYear(Year) ? 29 : days[Month - 1];
}

// The day number and the time of day in milliseconds that Value stands for.
// A fraction that rounds up to a whole day belongs to the next day. A value
// that names no day of years 1 to 9999 (a damaged record, not a number) is
// taken as day 0 rather than overflow the arithmetic below.
void SplitDateTime(TDateTime Value, std::int64_t& Day, std::int64_t& Milliseconds)
{
    static const double first = DDKEncodeDate(1, 1, 1) - 1;
    static const double last = DDKEncodeDate(9999, 12, 31) + 1;
    if (!(Value > first && Value < last))
        Value = 0;
    Day = static_cast<std::int64_t>(std::trunc(Value));
    Milliseconds = std::llround(std::fabs(Value - std::trunc(Value)) * MillisecondsPerDay);
    if (Milliseconds >= MillisecondsPerDay) {
        ++Day;
        Milliseconds -= MillisecondsPerDay;
    }
}

// --- Text to date ----------------------------------------------------------------

int Field(std::string_view S, std::size_t First, std::size_t Last)
{
    return DDKStrToIntDef(S.substr(First - 1, Last - First + 1), 0);
}

std::size_t CharacterCount(std::string_view S)
{
    std::size_t count = 0;
    for (std::size_t position = 0; position < S.size(); ++count)
        DDKNextChar(S, position);
    return count;
}

// Whether S is Layout with each 'd' a digit and each digit of Layout a digit
// from 0 to that one: "2d:5d" takes 23:59. Every other character stands for
// itself.
bool FitsLayout(std::string_view S, std::string_view Layout)
{
    if (S.size() != Layout.size())
        return false;
    for (std::size_t i = 0; i < S.size(); ++i) {
        const char c = S[i];
        const char l = Layout[i];
        if (l == 'd' ? !(c >= '0' && c <= '9') : l >= '0' && l <= '9' ? !(c >= '0' && c <= l) : c != l)
            return false;
    }
    return true;
}

TDateTime ReadDateTime(std::string_view S)
{
    const auto require = [&](const char* Layout, const char* Message) {
        if (!FitsLayout(S, Layout))
            throw EDDKError(DDKFormat(Message, std::string(S).c_str()));
    };
    switch (CharacterCount(S)) {
    case 5:
        require("2d:5d", "The value \"%s\" is not a valid time value");
        return DDKEncodeTime(Field(S, 1, 2), Field(S, 4, 5), 0, 0);
    case 8:
        require("2d:5d:5d", "The value \"%s\" is not a valid time value");
        return DDKEncodeTime(Field(S, 1, 2), Field(S, 4, 5), Field(S, 7, 8), 0);
    case 10:
        require("dddd-1d-3d", "The value \"%s\" is not a valid internal date value");
        return DDKEncodeDate(Field(S, 1, 4), Field(S, 6, 7), Field(S, 9, 10));
    case 19:
        require("dddd-1d-3d 2d:5d:5d", "The value \"%s\" is not a valid internal datetime value");
        try {
            return DDKComposeDateTime(DDKEncodeDate(Field(S, 1, 4), Field(S, 6, 7), Field(S, 9, 10)),
                                      DDKEncodeTime(Field(S, 12, 13), Field(S, 15, 16), Field(S, 18, 19), 0));
        } catch (const EDDKError&) {
            throw EDDKError(DDKFormat("'%s' is not a valid date and time", std::string(S).c_str()));
        }
    default:
        throw EDDKError(DDKFormat("The value \"%s\" has not a valid length", std::string(S).c_str()));
    }
}

// --- Date to text ----------------------------------------------------------------

// The time separator of the user's locale, read from how it writes a time.
std::string TimeSeparator()
{
    std::tm time{};
    time.tm_hour = 1;
    time.tm_min = 2;
    time.tm_sec = 3;
    char buffer[64];
    const std::size_t length = std::strftime(buffer, sizeof buffer, "%X", &time);
    const std::string_view text(buffer, length);
    const std::size_t first = text.find_first_not_of("0123456789");
    if (first == std::string_view::npos || first == 0)
        return ":";
    const std::size_t next = text.find_first_of("0123456789", first);
    return std::string(text.substr(first, next == std::string_view::npos ? 1 : next - first));
}

// A month or day name of the user's locale, as strftime writes it.
std::string LocaleName(const char* Conversion, int Month, int WeekDay)
{
    std::tm time{};
    time.tm_year = 100;
    time.tm_mon = Month - 1;
    time.tm_mday = 1;
    time.tm_wday = WeekDay;
    char buffer[128];
    return std::string(buffer, std::strftime(buffer, sizeof buffer, Conversion, &time));
}

} // namespace

// --- Calendar --------------------------------------------------------------------

TDateTime DDKEncodeDate(int Year, int Month, int Day)
{
    if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 || Day > DaysInMonth(Year, Month))
        throw EDDKError("Invalid argument to date encode");
    return static_cast<TDateTime>(
        DaysFromCivil(Year, static_cast<unsigned>(Month), static_cast<unsigned>(Day)) - DaysBeforeDayZero);
}

TDateTime DDKEncodeTime(int Hour, int Minute, int Second, int Millisecond)
{
    if (Hour < 0 || Hour > 23 || Minute < 0 || Minute > 59 || Second < 0 || Second > 59 || Millisecond < 0 ||
        Millisecond > 999)
        throw EDDKError("Invalid argument to time encode");
    return static_cast<TDateTime>(((Hour * 60 + Minute) * 60 + Second) * 1000 + Millisecond) /
           MillisecondsPerDay;
}

TDateTime DDKComposeDateTime(TDateTime Date, TDateTime Time)
{
    const double fraction = std::fabs(Time - std::trunc(Time));
    return Date < 0 ? Date - fraction : Date + fraction;
}

void DDKDecodeDate(TDateTime Value, int& Year, int& Month, int& Day)
{
    std::int64_t day = 0;
    std::int64_t milliseconds = 0;
    SplitDateTime(Value, day, milliseconds);
    CivilFromDays(day + DaysBeforeDayZero, Year, Month, Day);
}

void DDKDecodeTime(TDateTime Value, int& Hour, int& Minute, int& Second, int& Millisecond)
{
    std::int64_t day = 0;
    std::int64_t milliseconds = 0;
    SplitDateTime(Value, day, milliseconds);
    Millisecond = static_cast<int>(milliseconds % 1000);
    Second = static_cast<int>(milliseconds / 1000 % 60);
    Minute = static_cast<int>(milliseconds / 60'000 % 60);
    Hour = static_cast<int>(milliseconds / 3'600'000);
}

TDateTime DDKNow()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    return DDKComposeDateTime(DDKEncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                              DDKEncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59),
                                            static_cast<int>(milliseconds < 0 ? 0 : milliseconds)));
}

std::string DDKFormatDateTime(std::string_view Format, TDateTime Value)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    DDKDecodeDate(Value, year, month, day);
    DDKDecodeTime(Value, hour, minute, second, millisecond);
    std::int64_t dayNumber = 0, unused = 0;
    SplitDateTime(Value, dayNumber, unused);
    const int weekDay = static_cast<int>(((dayNumber + 6) % 7 + 7) % 7); // day 0 was a Saturday; 0 is Sunday

    std::string result;
    for (std::size_t i = 0; i < Format.size();) {
        const char c = Format[i];
        if (c == '"' || c == '\'') {
            const std::size_t close = Format.find(c, i + 1);
            const std::size_t end = close == std::string_view::npos ? Format.size() : close;
            result.append(Format.substr(i + 1, end - i - 1));
            i = end == Format.size() ? end : end + 1;
            continue;
        }
        if (c == ':') {
            result += TimeSeparator();
            ++i;
            continue;
        }
        const char letter = DDKLowerCase(std::string_view(&c, 1))[0];
        std::size_t run = 1;
        while (i + run < Format.size() && DDKLowerCase(Format.substr(i + run, 1))[0] == letter)
            ++run;
        const auto number = [&](int Value, bool TwoDigits) {
            result += DDKFormat(TwoDigits ? "%02d" : "%d", Value);
        };
        switch (letter) {
        case 'y':
            result += run <= 2 ? DDKFormat("%02d", year % 100) : DDKFormat("%04d", year);
            break;
        case 'm':
            if (run >= 4)
                result += LocaleName("%B", month, 0);
            else if (run == 3)
                result += LocaleName("%b", month, 0);
            else
                number(month, run == 2);
            break;
        case 'd':
            if (run >= 4)
                result += LocaleName("%A", 1, weekDay);
            else if (run == 3)
                result += LocaleName("%a", 1, weekDay);
            else
                number(day, run == 2);
            break;
        case 'h':
            number(hour, run >= 2);
            break;
        case 'n':
            number(minute, run >= 2);
            break;
        case 's':
            number(second, run >= 2);
            break;
        case 'z':
            result += run >= 3 ? DDKFormat("%03d", millisecond) : DDKFormat("%d", millisecond);
            break;
        default:
            result.append(Format.substr(i, run));
        }
        i += run;
    }
    return result;
}

// --- Conversions -----------------------------------------------------------------

void DDKStreamToString(std::string_view Stream, std::string& S)
{
    S.assign(Stream);
}

std::string DDKDateTimeToString(std::uint8_t Kind, TDateTime Value)
{
    static constexpr const char* patterns[] = {"yyyy-mm-dd", "yyyy-mm-dd hh:nn:ss", "hh:nn:ss", "hh:nn",
                                               "yyyy-mm-dd hh:nn"};
    return Kind < std::size(patterns) ? DDKFormatDateTime(patterns[Kind], Value) : std::string();
}

TDateTime DDKStringToDateTime(std::string_view S, bool RaiseError)
{
    if (RaiseError)
        return DDKTagged("DDKStringToDateTime : ", [&] { return ReadDateTime(S); });
    try {
        return ReadDateTime(S);
    } catch (...) {
        return 0;
    }
}

bool DDKStrToBool(std::string_view S)
{
    const std::string text = DDKLowerCase(DDKTrim(S));
    return text == "1" || text == "yes" || text == "oui" || text == "true";
}

std::string DDKFloatToStr(double Value)
{
    if (std::isnan(Value))
        return "NAN";
    if (std::isinf(Value))
        return Value < 0 ? "-INF" : "INF";
    if (Value == 0)
        return "0";
    // Round to 15 significant digits first: the rounded value decides the form.
    char buffer[64];
    const auto scientific =
        std::to_chars(buffer, buffer + sizeof buffer, Value, std::chars_format::scientific, 14);
    const std::string_view rounded(buffer, static_cast<std::size_t>(scientific.ptr - buffer));
    const std::size_t exponentAt = rounded.find('e');
    const int exponent = DDKStrToIntDef(rounded.substr(exponentAt + 1), 0);
    const auto withoutTrailingZeros = [](std::string Text) {
        if (Text.find('.') != std::string::npos) {
            Text.erase(Text.find_last_not_of('0') + 1);
            if (Text.back() == '.')
                Text.pop_back();
        }
        return Text;
    };
    if (exponent < 15 && exponent >= -5) {
        const auto fixed = std::to_chars(buffer, buffer + sizeof buffer, Value, std::chars_format::fixed,
                                         std::max(0, 14 - exponent));
        return withoutTrailingZeros(std::string(buffer, fixed.ptr));
    }
    return withoutTrailingZeros(std::string(rounded.substr(0, exponentAt))) + "E" + std::to_string(exponent);
}
