// vantry-kill-driver <program path> <movie folder>: a synchronisation for the
// kill test to cut short; services and folders come from the environment.
#include "SynchRun.h"
#include "UnitConfig.h"

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    Config = TConfig(argv[1]);
    RunSynchronisation(argv[2], true);
    return 0;
}
