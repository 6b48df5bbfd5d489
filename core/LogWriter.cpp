#include "LogWriter.h"

#include "DDKConversion.h"
#include "DDKFiles.h"
#include "DDKStrings.h"
#include "UnitConfig.h"

#include <cerrno>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// C0 and C1 controls, DEL, and the two separators that some readers take for
// line ends.
bool IsLineBreaking(char32_t Character)
{
    return Character < 0x20 || (Character >= 0x7F && Character <= 0x9F) || Character == 0x2028 ||
           Character == 0x2029;
}

std::string EscapeControls(std::string_view Msg)
{
    std::string Result;
    Result.reserve(Msg.size());
    for (std::size_t Position = 0; Position < Msg.size();) {
        const std::size_t Start = Position;
        const char32_t Character = DDKNextChar(Msg, Position);
        if (Character >= DDKInvalidByteBase || !IsLineBreaking(Character))
            Result.append(Msg.substr(Start, Position - Start));
        else if (Character == '\n')
            Result += "\\n";
        else if (Character == '\r')
            Result += "\\r";
        else if (Character == '\t')
            Result += "\\t";
        else
            Result += DDKFormat(Character < 0x80 ? "\\x%02X" : "\\u%04X", static_cast<unsigned>(Character));
    }
    return Result;
}

} // namespace

std::string FormatLogLine(double When, const std::string& Msg)
{
    return DDKDateTimeToString(1, When) + " | " + EscapeControls(Msg);
}

void WriteLog(const std::string& Msg, const std::function<void(const std::string& Line)>& Memo)
{
    const std::string Line = FormatLogLine(DDKNow(), Msg);
    DDKWriteLine(Config.LogFile, Line, false);
    if (Memo)
        Memo(Line);
}

void OpenUrl(const std::string& Url)
{
    // Everything the children need is ready before fork: after it only
    // async-signal-safe calls are allowed, other threads may hold locks.
    char Program[] = "xdg-open";
    char* Arguments[] = {Program, const_cast<char*>(Url.c_str()), nullptr};

    // The opener may run as long as the browser it starts, so nobody waits for
    // it: an intermediate child starts it and exits at once, which hands the
    // opener to init to reap, and is itself reaped here without delay.
    pid_t Middle = fork();
    if (Middle < 0)
        return;
    if (Middle == 0) {
        pid_t Opener = fork();
        if (Opener == 0) {
            execvp(Program, Arguments);
            _exit(127);
        }
        _exit(Opener < 0 ? 1 : 0);
    }
    int Status;
    while (waitpid(Middle, &Status, 0) < 0 && errno == EINTR) {
    }
}
