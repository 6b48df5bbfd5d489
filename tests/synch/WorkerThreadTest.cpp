// The thread layer: calls onto the main thread with their errors carried
// back, the termination callback whatever happens, and the worker's release.
#include "QueueDispatcher.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A worker whose job is a function, and which records its own end.
class TScriptedWorker : public TWorkerThread
{
public:
    TScriptedWorker(TMainThreadDispatcher& Dispatcher, std::function<void(TScriptedWorker&)> Job, bool& Freed)
        : TWorkerThread(Dispatcher), FJob(std::move(Job)), FFreed(Freed)
    {
    }
    ~TScriptedWorker() override { FFreed = true; }
    using TWorkerThread::Synchronize;

protected:
    void Execute() override { FJob(*this); }

private:
    std::function<void(TScriptedWorker&)> FJob;
    bool& FFreed;
};

struct WorkerThreadTest : ::testing::Test
{
    TQueueDispatcher Dispatcher;
    std::vector<std::string> Seen;
    bool Freed = false;

    void RunToEnd(TWorkerThread& Worker)
    {
        Worker.Start();
        if (!Dispatcher.PumpUntil([this] { return !Seen.empty() && Seen.back() == "terminated"; })) {
            ADD_FAILURE() << "the worker never ended";
            std::abort(); // it still refers to this test's data
        }
        TWorkerThread::WaitForAllWorkers();
    }
    void OnTerminateRecord(TWorkerThread& Worker, bool Fail = false)
    {
        Worker.OnTerminate = [this, Fail](TWorkerThread*) {
            EXPECT_TRUE(Dispatcher.OnMainThread());
            EXPECT_FALSE(Freed); // released only after its callback
            Seen.push_back("terminated");
            if (Fail)
                throw std::runtime_error("callback failed");
        };
    }
};

TEST_F(WorkerThreadTest, SynchronizeRunsOnTheMainThreadAndCarriesErrorsBack)
{
    auto* worker = new TScriptedWorker(
        Dispatcher,
        [this](TScriptedWorker& Self) {
            Self.Synchronize([this] { Seen.push_back(Dispatcher.OnMainThread() ? "main" : "worker"); });
            std::string caught;
            try {
                Self.Synchronize([] { throw std::runtime_error("handler failed"); });
            } catch (const std::exception& error) {
                caught = error.what();
            }
            Self.Synchronize([this, &caught] { Seen.push_back(caught); });
        },
        Freed);
    OnTerminateRecord(*worker);
    RunToEnd(*worker);
    EXPECT_EQ(Seen, (std::vector<std::string>{"main", "handler failed", "terminated"}));
    EXPECT_TRUE(Freed);
}

TEST_F(WorkerThreadTest, AFailingJobOrCallbackStillEndsAndReleasesTheWorker)
{
    for (const bool failingCallback : {false, true}) {
        Seen.clear();
        Freed = false;
        auto* worker = new TScriptedWorker(
            Dispatcher, [](TScriptedWorker&) { throw std::runtime_error("job failed"); }, Freed);
        OnTerminateRecord(*worker, failingCallback);
        RunToEnd(*worker);
        EXPECT_TRUE(Freed);
    }
}

TEST_F(WorkerThreadTest, OwnedWorkersAreJoinedAndUnstartedOnesNeverRun)
{
    bool ran = false;
    {
        TScriptedWorker never(
            Dispatcher, [&ran](TScriptedWorker&) { ran = true; }, Freed);
    }
    EXPECT_FALSE(ran);

    Freed = false;
    auto owned = std::make_unique<TScriptedWorker>(
        Dispatcher, [&ran](TScriptedWorker&) { ran = true; }, Freed);
    owned->FreeOnTerminate = false;
    OnTerminateRecord(*owned);
    RunToEnd(*owned);
    EXPECT_TRUE(ran);
    EXPECT_FALSE(Freed);
    owned.reset();
    EXPECT_TRUE(Freed);
}

} // namespace
