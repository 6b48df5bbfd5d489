#include "LogWriter.h"

#include "DDKConversion.h"
#include "DDKError.h"
#include "DDKFiles.h"
#include "DDKStrings.h"
#include "DDKSystem.h"
#include "ServiceKeys.h"
#include "UnitConfig.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
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
    return DDKDateTimeToString(1, When) + " | " + EscapeControls(HideServiceKeys(Msg));
}

void WriteLog(const std::string& Msg, const std::function<void(const std::string& Line)>& Memo)
{
    const std::string Line = FormatLogLine(DDKNow(), Msg);
    DDKWriteLine(Config.LogFile, Line, false);
    if (Memo)
        Memo(Line);
}

namespace {

// How long the opener has to say that it failed. One that runs on longer has
// started a program, which may well stay in the foreground until it closes.
constexpr int OpenerVerdictMs = 2000;

// Why the opener could not open, from its exit status (xdg-open's codes).
std::string OpenerFailure(int Status)
{
    switch (Status) {
    case 1:
        return "xdg-open n'a pas compris la demande";
    case 2:
        return "le fichier n'existe pas";
    case 3:
        return "aucun programme n'est disponible pour l'ouvrir";
    case 4:
        return "l'ouverture a échoué";
    default:
        return DDKFormat("xdg-open s'est terminé avec le code %d", Status);
    }
}

} // namespace

void OpenUrl(const std::string& Url)
{
    // Everything the children need is ready before fork: after it only
    // async-signal-safe calls are allowed, other threads may hold locks.
    char Program[] = "xdg-open";
    char* Arguments[] = {Program, const_cast<char*>(Url.c_str()), nullptr};
    const auto Failed = [&Url](const std::string& Reason) {
        return EDDKError(DDKFormat("Impossible d'ouvrir \"%s\" : %s", Url.c_str(), Reason.c_str()));
    };

    // A child that cannot start the opener writes its errno here; a
    // successful exec closes the pipe.
    int Pipe[2];
    if (pipe2(Pipe, O_CLOEXEC) != 0)
        throw Failed(DDKSysErrorMessage(errno));

    // The opener may run as long as the program it starts, so nobody waits
    // for it beyond its verdict: an intermediate child starts it, waits that
    // long for it to fail, then exits with its status (0 when it still
    // runs), which hands a running opener to init to reap.
    const pid_t Middle = fork();
    if (Middle < 0) {
        const int Error = errno;
        close(Pipe[0]);
        close(Pipe[1]);
        throw Failed(DDKSysErrorMessage(Error));
    }
    if (Middle == 0) {
        const auto StartFailed = [&Pipe] {
            const int Error = errno;
            [[maybe_unused]] const ssize_t Written = write(Pipe[1], &Error, sizeof Error);
            _exit(127);
        };
        const pid_t Opener = fork();
        if (Opener == 0) {
            execvp(Program, Arguments);
            StartFailed();
        }
        if (Opener < 0)
            StartFailed();
        constexpr int StepMs = 10;
        for (int Waited = 0; Waited < OpenerVerdictMs; Waited += StepMs) {
            int Status;
            if (waitpid(Opener, &Status, WNOHANG) == Opener)
                _exit(WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status) % 128);
            const timespec Step{0, StepMs * 1000000L};
            nanosleep(&Step, nullptr);
        }
        _exit(0);
    }

    close(Pipe[1]);
    int Status = 0;
    while (waitpid(Middle, &Status, 0) < 0 && errno == EINTR) {
    }
    int StartError = 0;
    ssize_t Read;
    while ((Read = read(Pipe[0], &StartError, sizeof StartError)) < 0 && errno == EINTR) {
    }
    close(Pipe[0]);

    if (Read == sizeof StartError)
        throw Failed(StartError == ENOENT ? "le programme xdg-open est introuvable (paquet xdg-utils)"
                                          : "xdg-open ne démarre pas : " + DDKSysErrorMessage(StartError));
    const int Verdict = WIFEXITED(Status) ? WEXITSTATUS(Status) : 0;
    if (Verdict != 0)
        throw Failed(OpenerFailure(Verdict));
}
