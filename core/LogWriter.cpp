#include "LogWriter.h"

#include "DDKConversion.h"
#include "DDKFiles.h"
#include "UnitConfig.h"

#include <cerrno>
#include <sys/wait.h>
#include <unistd.h>

std::string FormatLogLine(double When, const std::string& Msg)
{
    return DDKDateTimeToString(1, When) + " | " + Msg;
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
