// The program's log and the desktop's opener.
#pragma once

#include <functional>
#include <string>

// "yyyy-mm-dd hh:nn:ss | Msg" for the local time When (days since 1899-12-30).
// One message is one line: line ends and other control characters in Msg
// (from a file name, an address, a service's answer) are written escaped, as
// "\n", "\r", "\t", "\xHH" or "\uHHHH", so that nothing can split a line or
// forge one of the journal.
// The services' keys in Msg, in whatever spelling, are hidden (HideServiceKeys):
// the log and its view are what users share when they ask for help.
std::string FormatLogLine(double When, const std::string& Msg);

// Appends the log line of Msg, stamped now, to Config.LogFile (CR LF ended;
// the file is created when missing) and, when Memo is given, hands it the same
// line. A write failure raises and Memo is not called.
void WriteLog(const std::string& Msg, const std::function<void(const std::string& Line)>& Memo = nullptr);

// Hands a web address or a file path to the desktop's opener (xdg-open),
// started without a shell so that nothing in Url is run as a command. Raises,
// with the reason in French, when the opener is missing or reports within two
// seconds that it cannot open Url; an opener still running by then has
// started a program and is left to it. As it may wait that long, a window
// calls it from a thread of its own.
void OpenUrl(const std::string& Url);
