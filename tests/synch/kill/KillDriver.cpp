// vantry-kill-driver <program path> <movie folder> [stepped]: a renaming
// synchronisation for the kill test to cut short; services and folders come
// from the environment. Its log lines go to the program's log file, as the
// main window writes them.
//
// Stepped, it stops at every event of the worker, which then waits: it writes
// one byte to its output and goes on once it has read one byte from its
// input. A log line stops it twice, before and after it is written, so that
// the test can kill it on either side of a journal line.
#include "LogWriter.h"
#include "SynchRun.h"
#include "UnitConfig.h"

#include <string_view>
#include <unistd.h>

namespace {

void Stop()
{
    char Byte = '.';
    if (::write(STDOUT_FILENO, &Byte, 1) != 1 || ::read(STDIN_FILENO, &Byte, 1) != 1)
        ::_exit(3); // the test is gone
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4)
        return 2;
    const bool Stepped = argc == 4 && std::string_view(argv[3]) == "stepped";
    Config = TConfig(argv[1]);
    RunSynchronisation(argv[2], true, [Stepped](TSynchThread& Worker) {
        Worker.OnLog = [Stepped](const std::string& Line) {
            if (Stepped)
                Stop();
            WriteLog(Line);
            if (Stepped)
                Stop();
        };
        if (Stepped)
            Worker.OnProgress = Worker.OnProgressMax = [](std::int32_t) { Stop(); };
    });
    return 0;
}
