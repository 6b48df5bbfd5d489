// A synchronisation in a process of its own, for the kill test to cut short
// with SIGKILL: vantry-kill-driver <program path for the settings> <movie folder>.
// The services and the application-data folder come from the environment
// (http_proxy, XDG_CONFIG_HOME) that the test hands down.
#include "SynchRun.h"
#include "UnitConfig.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    Config = TConfig(argv[1]);
    for (const std::string& Line : RunSynchronisation(argv[2], true))
        std::printf("%s\n", Line.c_str());
    return 0;
}
