// The thread layer: start, stop flag, calls onto the main thread with their
// errors carried back, the termination callback and the worker's release.
#include "QueueDispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A worker whose job is a function, and which records its own end.
class TScriptedWorker : public TWorkerThread
{
public:
    TScriptedWorker(TMainThreadDispatcher& Dispatcher, std::function<void(TScriptedWorker&)> Job, bool* Freed)
        : TWorkerThread(Dispatcher), FJob(std::move(Job)), FFreed(Freed)
    {
    }
    ~TScriptedWorker() override
    {
        if (FFreed)
            *FFreed = true;
    }
    using TWorkerThread::Synchronize;

protected:
    void Execute() override { FJob(*this); }

private:
    std::function<void(TScriptedWorker&)> FJob;
    bool* FFreed;
};

struct WorkerThreadTest : ::testing::Test
{
    TQueueDispatcher Dispatcher;
    bool Terminated = false;

    // Starts Worker and pumps the main thread until its termination callback
    // has run and the worker has wholly ended.
    void RunToEnd(TWorkerThread* Worker)
    {
        auto previous = Worker->OnTerminate;
        Worker->OnTerminate = [this, previous](TWorkerThread* Sender) {
            Terminated = true;
            if (previous)
                previous(Sender);
        };
        Worker->Start();
        ASSERT_TRUE(Dispatcher.PumpUntil([this] { return Terminated; }));
        TWorkerThread::WaitForAllWorkers();
    }
};

TEST_F(WorkerThreadTest, SynchronizeRunsOnTheMainThreadAndCarriesErrorsBack)
{
    std::vector<std::string> seen;
    bool freed = false;
    auto* worker = new TScriptedWorker(
        Dispatcher,
        [&](TScriptedWorker& Self) {
            Self.Synchronize([&] { seen.push_back(Dispatcher.OnMainThread() ? "main 1" : "worker 1"); });
            try {
                Self.Synchronize([] { throw std::runtime_error("handler failed"); });
            } catch (const std::exception& error) {
                seen.push_back(std::string("caught: ") + error.what());
            }
            Self.Synchronize([&] { seen.push_back(Dispatcher.OnMainThread() ? "main 2" : "worker 2"); });
        },
        &freed);
    worker->OnTerminate = [&](TWorkerThread* Sender) {
        EXPECT_EQ(Sender, worker);
        EXPECT_TRUE(Dispatcher.OnMainThread());
        EXPECT_FALSE(freed); // released only after its callback
        seen.push_back("terminated");
    };
    RunToEnd(worker);
    EXPECT_EQ(seen, (std::vector<std::string>{"main 1", "caught: handler failed", "main 2", "terminated"}));
    EXPECT_TRUE(freed);
}

TEST_F(WorkerThreadTest, AnErrorLeavingTheJobStillEndsWithTheCallback)
{
    bool freed = false;
    auto* worker = new TScriptedWorker(
        Dispatcher, [](TScriptedWorker&) { throw std::runtime_error("job failed"); }, &freed);
    RunToEnd(worker);
    EXPECT_TRUE(Terminated);
    EXPECT_TRUE(freed);
}

TEST_F(WorkerThreadTest, AFailingCallbackStillReleasesTheWorker)
{
    bool freed = false;
    auto* worker = new TScriptedWorker(
        Dispatcher, [](TScriptedWorker&) {}, &freed);
    worker->OnTerminate = [](TWorkerThread*) { throw std::runtime_error("callback failed"); };
    RunToEnd(worker);
    EXPECT_TRUE(freed);
}

TEST_F(WorkerThreadTest, StopRequestIsSeenByTheWorker)
{
    std::atomic<bool> started{false};
    bool sawStop = false;
    auto* worker = new TScriptedWorker(
        Dispatcher,
        [&](TScriptedWorker& Self) {
            started = true;
            while (!Self.Terminated())
                std::this_thread::yield();
            sawStop = true;
        },
        nullptr);
    worker->OnTerminate = [&](TWorkerThread*) { Terminated = true; };
    worker->Start();
    while (!started)
        std::this_thread::yield();
    worker->Terminate();
    ASSERT_TRUE(Dispatcher.PumpUntil([this] { return Terminated; }));
    TWorkerThread::WaitForAllWorkers();
    EXPECT_TRUE(sawStop);
}

TEST_F(WorkerThreadTest, OwnedWorkersAreJoinedAndUnstartedOnesNeverRun)
{
    bool ran = false;
    bool freed = false;
    {
        TScriptedWorker never(
            Dispatcher, [&](TScriptedWorker&) { ran = true; }, &freed);
    }
    EXPECT_FALSE(ran);
    EXPECT_TRUE(freed);

    freed = false;
    auto owned = std::make_unique<TScriptedWorker>(
        Dispatcher, [&](TScriptedWorker&) { ran = true; }, &freed);
    owned->FreeOnTerminate = false;
    RunToEnd(owned.get());
    EXPECT_TRUE(ran);
    EXPECT_FALSE(freed);
    owned.reset();
    EXPECT_TRUE(freed);
}

TEST_F(WorkerThreadTest, SynchronizeOutsideAWorkerThreadRunsAtOnce)
{
    TScriptedWorker idle(
        Dispatcher, [](TScriptedWorker&) {}, nullptr);
    bool ran = false;
    idle.Synchronize([&] { ran = true; });
    EXPECT_TRUE(ran);
}

} // namespace
