// The termination callback runs on the main thread whatever throws, then the worker goes.
#include "QueueDispatcher.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

namespace {

struct TFailingWorker : TWorkerThread
{
    TFailingWorker(TMainThreadDispatcher& Dispatcher, bool& Flag) : TWorkerThread(Dispatcher), Freed(Flag) {}
    ~TFailingWorker() override { Freed = true; }
    void Execute() override { throw std::runtime_error("job failed"); }
    bool& Freed;
};

TEST(WorkerThreadTest, AFailingJobOrCallbackStillEndsAndReleasesTheWorker)
{
    TQueueDispatcher Dispatcher;
    for (const bool FailingCallback : {false, true}) {
        bool Freed = false, Ended = false;
        auto* Worker = new TFailingWorker(Dispatcher, Freed);
        Worker->OnTerminate = [&](TWorkerThread*) {
            EXPECT_TRUE(Dispatcher.OnMainThread());
            EXPECT_FALSE(Freed); // released only after its callback
            Ended = true;
            if (FailingCallback)
                throw std::runtime_error("callback failed");
        };
        Worker->Start();
        if (!Dispatcher.PumpUntil([&Ended] { return Ended; })) {
            ADD_FAILURE() << "the worker never ended";
            std::abort(); // it still refers to this test's data
        }
        TWorkerThread::WaitForAllWorkers();
        EXPECT_TRUE(Freed) << FailingCallback;
    }
}

} // namespace
