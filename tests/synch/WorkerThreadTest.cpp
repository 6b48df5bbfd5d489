// The thread layer: calls onto the main thread with their errors carried
// back, the termination callback whatever happens, and the worker's release.
#include "QueueDispatcher.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

namespace {

using Strings = std::vector<std::string>;

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
    Strings Seen;
    bool Freed = false;

    void RunToEnd(TWorkerThread& Worker, bool FailingCallback = false)
    {
        Worker.OnTerminate = [this, FailingCallback](TWorkerThread*) {
            EXPECT_TRUE(Dispatcher.OnMainThread());
            EXPECT_FALSE(Freed); // released only after its callback
            Seen.push_back("terminated");
            if (FailingCallback)
                throw std::runtime_error("callback failed");
        };
        Worker.Start();
        if (!Dispatcher.PumpUntil([this] { return !Seen.empty() && Seen.back() == "terminated"; })) {
            ADD_FAILURE() << "the worker never ended";
            std::abort(); // it still refers to this test's data
        }
        TWorkerThread::WaitForAllWorkers();
    }
};

TEST_F(WorkerThreadTest, SynchronizeRunsOnTheMainThreadAndCarriesErrorsBack)
{
    RunToEnd(*new TScriptedWorker(
        Dispatcher,
        [this](TScriptedWorker& Self) {
            Self.Synchronize([this] { Seen.push_back(Dispatcher.OnMainThread() ? "main" : "worker"); });
            try {
                Self.Synchronize([] { throw std::runtime_error("handler failed"); });
            } catch (const std::exception& Error) {
                Self.Synchronize([this, What = std::string(Error.what())] { Seen.push_back(What); });
            }
        },
        Freed));
    EXPECT_EQ(Seen, (Strings{"main", "handler failed", "terminated"}));
    EXPECT_TRUE(Freed);
}

TEST_F(WorkerThreadTest, AFailingJobOrCallbackStillEndsAndReleasesTheWorker)
{
    for (const bool FailingCallback : {false, true}) {
        Freed = false;
        Seen.clear();
        RunToEnd(*new TScriptedWorker(
                     Dispatcher, [](TScriptedWorker&) { throw std::runtime_error("job failed"); }, Freed),
                 FailingCallback);
        EXPECT_TRUE(Freed);
    }
}

} // namespace
