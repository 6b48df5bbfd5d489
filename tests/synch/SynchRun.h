// Runs one worker to its end on the calling thread, which plays the main thread.
#pragma once

#include "QueueDispatcher.h"
#include "UnitThread.h"

#include <cstdio>
#include <cstdlib>
#include <functional>

// The log lines, in order; Setup may replace any callback but the termination one.
// A worker still running after Limit aborts the process.
inline std::vector<std::string> RunSynchronisation(const std::string& Folder, bool RenameFiles,
                                                   const std::function<void(TSynchThread&)>& Setup = {},
                                                   std::chrono::milliseconds Limit = std::chrono::minutes(5))
{
    TQueueDispatcher Dispatcher;
    std::vector<std::string> Lines;
    bool Ended = false;
    auto* Worker = new TSynchThread(Dispatcher);
    Worker->SetFolder(Folder);
    Worker->RenameFiles = RenameFiles;
    Worker->SecondPartWait = std::chrono::milliseconds(0);
    Worker->Http().RetryPause = std::chrono::milliseconds(0);
    Worker->OnLog = [&Lines](const std::string& Line) { Lines.push_back(Line); };
    if (Setup)
        Setup(*Worker);
    Worker->OnTerminate = [&](TWorkerThread*) { Ended = Dispatcher.OnMainThread(); };
    Worker->Start();
    if (!Dispatcher.PumpUntil([&Ended] { return Ended; }, Limit)) {
        std::fprintf(stderr, "the worker never ended, or not on the main thread\n");
        std::abort(); // it still refers to this run's data
    }
    TWorkerThread::WaitForAllWorkers();
    return Lines;
}
