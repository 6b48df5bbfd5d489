// vantry-kill-driver <program path> <movie folder> [stepped]: a renaming
// synchronisation for the kill test to cut short; services and folders come
// from the environment. Its log lines go to the program's log file, as the
// main window writes them.
//
// Stepped, it stops itself at every event of the worker, which waits for the
// main thread meanwhile; the test then lets it go on or kills it. A log line
// stops it twice, before and after it is written, so that the test can kill
// it on either side of a journal line.
#include "LogWriter.h"
#include "SynchRun.h"
#include "UnitConfig.h"

#include <csignal>
#include <string_view>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4)
        return 2;
    ::prctl(PR_SET_PDEATHSIG, SIGKILL); // never left stopped once the test is gone
    const bool Stepped = argc == 4 && std::string_view(argv[3]) == "stepped";
    const auto Stop = [Stepped] {
        if (Stepped)
            ::kill(::getpid(), SIGSTOP);
    };
    Config = TConfig(argv[1]);
    RunSynchronisation(argv[2], true, [Stop](TSynchThread& Worker) {
        Worker.OnLog = [Stop](const std::string& Line) {
            Stop();
            WriteLog(Line);
            Stop();
        };
        Worker.OnProgress = Worker.OnProgressMax = [Stop](std::int32_t) { Stop(); };
    });
    return 0;
}
