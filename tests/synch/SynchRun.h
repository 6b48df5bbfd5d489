// Runs one worker to its end on the calling thread, which plays the main
// thread: shared by the end-to-end tests, the kill driver and the benchmark.
#pragma once

#include "QueueDispatcher.h"
#include "UnitThread.h"

#include <memory>

struct TSynchJob
{
    std::string Folder; // the movie folder, or its library folder for modes 1 and 2
    bool RenameFiles = false;
    std::uint8_t Mode = ModeSynch;
    std::int32_t Code = -1;
    std::unique_ptr<TMovieInfo> Movie;
};

// The log lines the worker sent, in order.
inline std::vector<std::string> RunSynchJob(TSynchJob Job)
{
    TQueueDispatcher Dispatcher;
    std::vector<std::string> Lines;
    bool Done = false;
    auto* Worker = new TSynchThread(Dispatcher);
    Worker->SetFolder(Job.Folder);
    Worker->RenameFiles = Job.RenameFiles;
    Worker->Mode = Job.Mode;
    Worker->Code = Job.Code;
    Worker->Movie = std::move(Job.Movie);
    Worker->SecondPartWait = std::chrono::milliseconds(0);
    Worker->Http().RetryPause = std::chrono::milliseconds(0);
    Worker->OnLog = [&Lines](const std::string& Line) { Lines.push_back(Line); };
    Worker->OnTerminate = [&Done](TWorkerThread*) { Done = true; };
    Worker->Start();
    Dispatcher.PumpUntil([&Done] { return Done; }, std::chrono::minutes(5));
    TWorkerThread::WaitForAllWorkers();
    return Lines;
}

inline std::vector<std::string> RunSynchronisation(const std::string& Folder, bool RenameFiles)
{
    return RunSynchJob({Folder, RenameFiles, ModeSynch, -1, nullptr});
}
