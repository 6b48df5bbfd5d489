// The termination callback runs on the main thread whatever throws, then the
// worker goes; methods queued without waiting still run in order before it.
#include "QueueDispatcher.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <vector>

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

// Queues a few methods, the fourth of which fails, waits for the main thread
// once, queues one more and ends without a termination callback.
struct TQueueingWorker : TWorkerThread
{
    using TWorkerThread::TWorkerThread;
    void Execute() override
    {
        for (int I = 0; I < 8; ++I)
            Queue([this, I] {
                Seen.push_back(I);
                ++Ran;
                if (I == 3)
                    throw std::runtime_error("bar gone");
            });
        try {
            Synchronize([this] { Synchronised = true; });
        } catch (const std::runtime_error&) {
            Raised = true;
        }
        Queue([this] {
            Seen.push_back(8);
            ++Ran;
        });
        Executed = true;
    }
    std::vector<int> Seen;
    std::atomic<int> Ran{0};
    std::atomic<bool> Executed{false};
    bool Synchronised = false;
    std::atomic<bool> Raised{false};
};

TEST(WorkerThreadTest, QueuedMethodsRunInOrderAndTheirErrorReachesTheWorker)
{
    TQueueDispatcher Dispatcher;
    TQueueingWorker Worker(Dispatcher);
    Worker.FreeOnTerminate = false;
    Worker.Start();
    ASSERT_TRUE(Dispatcher.PumpUntil([&Worker] { return Worker.Synchronised; }));
    // The last method waits for the main thread; the worker must not end
    // before it has run, since it refers to the worker.
    while (!Worker.Executed)
        std::this_thread::yield();
    std::atomic<bool> AllEnded{false};
    int RanWhenEnded = 0;
    std::thread Waiter([&] {
        TWorkerThread::WaitForAllWorkers();
        RanWhenEnded = Worker.Ran;
        AllEnded = true;
        Dispatcher.Post([] {});
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const bool Ended = Dispatcher.PumpUntil([&AllEnded] { return AllEnded.load(); });
    Waiter.join();
    ASSERT_TRUE(Ended);
    EXPECT_EQ(RanWhenEnded, 9);
    EXPECT_EQ(Worker.Seen, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_TRUE(Worker.Raised);
}

} // namespace
