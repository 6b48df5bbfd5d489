// Conversions between text and dates, Booleans, numbers and byte streams, in
// the fixed forms of the services' answers, the log and the media-centre files.
//
// Dates are TDateTime: days since 1899-12-30 with the time of day as the
// fraction (0.5 is noon on that day). Before that day the whole part counts
// back and the fraction still counts forward (-1.25 is 1899-12-29 06:00).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

using TDateTime = double;

// S receives the stream's bytes as they are.
void DDKStreamToString(std::string_view Stream, std::string& S);

// Kind 0 "yyyy-mm-dd", 1 "yyyy-mm-dd hh:nn:ss", 2 "hh:nn:ss", 3 "hh:nn",
// 4 "yyyy-mm-dd hh:nn"; the empty text for any other Kind.
std::string DDKDateTimeToString(std::uint8_t Kind, TDateTime Value);

// Reads "hh:nn", "hh:nn:ss", "yyyy-mm-dd" or "yyyy-mm-dd hh:nn:ss". Text that
// is not one of them, or names no real date or time, gives 0, or with
// RaiseError an EDDKError "DDKStringToDateTime : " and the reason.
TDateTime DDKStringToDateTime(std::string_view S, bool RaiseError);

// True for "1", "yes", "oui" and "true" (blanks around and case of A-Z ignored).
bool DDKStrToBool(std::string_view S);

// Up to 15 significant digits with '.' as decimal point whatever the locale:
// 4, 3.5, 0.1. Never raises.
std::string DDKFloatToStr(double Value);

// --- Calendar ------------------------------------------------------------------

// The local date and time now.
TDateTime DDKNow();

// Raise EDDKError "Invalid argument to date encode" / "... time encode" for
// values that name no day (year 1 to 9999) or no time of day.
TDateTime DDKEncodeDate(int Year, int Month, int Day);
TDateTime DDKEncodeTime(int Hour, int Minute, int Second, int Millisecond);
// Date and Time (its fraction) as one value, following the rule above for
// days before 1899-12-30.
TDateTime DDKComposeDateTime(TDateTime Date, TDateTime Time);

void DDKDecodeDate(TDateTime Value, int& Year, int& Month, int& Day);
void DDKDecodeTime(TDateTime Value, int& Hour, int& Minute, int& Second, int& Millisecond);

// Formats Value by Format: yyyy (or yy) year; mmmm full month name, mmm its
// short name, mm, m month number; dddd, ddd day names, dd, d day; hh, h hour
// (00-23); nn, n minute; ss, s second; zzz milliseconds; ':' the locale's time
// separator; text in "double" or 'single' quotes as it stands; anything else
// as it stands. Names and separator follow the user's locale (LC_TIME).
std::string DDKFormatDateTime(std::string_view Format, TDateTime Value);
