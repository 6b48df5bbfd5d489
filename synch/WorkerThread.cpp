#include "WorkerThread.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <utility>

namespace {

// The worker whose thread is running the calling code, if any.
thread_local TWorkerThread* CurrentWorker = nullptr;

// How long a worker waiting for the main thread keeps its processor before it
// lets itself be put to sleep: long enough for a handler that moves a bar or
// writes a log line, short enough that a modal dialog costs no processor.
constexpr std::chrono::microseconds SpinBeforeSleep(200);

// How many started workers have not wholly ended yet.
struct TWorkerCount
{
    std::mutex Lock;
    std::condition_variable Ended;
    int Running = 0;
};

// Never destroyed: a worker may still be finishing its last statement while
// the process exits.
TWorkerCount& WorkerCount()
{
    static TWorkerCount* const count = new TWorkerCount;
    return *count;
}

} // namespace

TWorkerThread::TWorkerThread(TMainThreadDispatcher& Dispatcher) : FDispatcher(Dispatcher) {}

TWorkerThread::~TWorkerThread()
{
    // Reached on the main thread only for a worker that does not free itself
    // (or was never started): wait for its thread, which has then at most its
    // last bookkeeping left.
    if (FThread.joinable())
        FThread.join();
}

void TWorkerThread::Start()
{
    if (FStarted)
        return;
    FStarted = true;
    {
        std::lock_guard<std::mutex> guard(WorkerCount().Lock);
        ++WorkerCount().Running;
    }
    // The new thread must not look at FThread before it has been stored.
    std::lock_guard<std::mutex> guard(FStartLock);
    FThread = std::thread(&TWorkerThread::ThreadProc, this);
}

void TWorkerThread::ThreadProc()
{
    {
        std::lock_guard<std::mutex> guard(FStartLock);
    }
    CurrentWorker = this;
    try {
        Execute();
    } catch (...) {
        // The job reports its own failures; one that escapes it (a log line
        // that could not be delivered, say) ends it quietly.
    }
    // Read before the callback: once it has run, the starter may already
    // have let go of a worker it owns.
    const bool freeSelf = FreeOnTerminate;
    try {
        // Also waits for the methods still queued, which refer to the worker.
        if (OnTerminate || FQueued)
            Synchronize([this] {
                if (OnTerminate)
                    OnTerminate(this);
            });
    } catch (...) {
        // The worker ends all the same.
    }
    CurrentWorker = nullptr;
    if (freeSelf) {
        FThread.detach();
        delete this;
    }
    // Nothing of the object may be touched from here on.
    TWorkerCount& count = WorkerCount();
    std::lock_guard<std::mutex> guard(count.Lock);
    --count.Running;
    count.Ended.notify_all();
}

void TWorkerThread::Synchronize(const std::function<void()>& Method)
{
    if (CurrentWorker != this) {
        Method();
        return;
    }
    // The main thread usually answers within microseconds; waiting for it by
    // spinning a little first spares the worker the cost of being put to
    // sleep and woken up again for every event.
    struct THandoff
    {
        std::atomic<bool> Done{false};
        std::exception_ptr Error;
    };
    auto handoff = std::make_shared<THandoff>();
    FDispatcher.Post([&Method, handoff] {
        try {
            Method();
        } catch (...) {
            handoff->Error = std::current_exception();
        }
        handoff->Done.store(true, std::memory_order_release);
        handoff->Done.notify_one();
    });
    const auto spinUntil = std::chrono::steady_clock::now() + SpinBeforeSleep;
    while (!handoff->Done.load(std::memory_order_acquire)) {
        if (std::chrono::steady_clock::now() >= spinUntil) {
            handoff->Done.wait(false, std::memory_order_acquire);
            break;
        }
        std::this_thread::yield();
    }
    if (handoff->Error)
        std::rethrow_exception(handoff->Error);
    // Every method queued before has run by now, its error with it.
    std::exception_ptr queuedError;
    {
        std::lock_guard<std::mutex> guard(FQueuedLock);
        queuedError = std::exchange(FQueuedError, nullptr);
    }
    if (queuedError)
        std::rethrow_exception(queuedError);
}

void TWorkerThread::Queue(std::function<void()> Method)
{
    if (CurrentWorker != this) {
        Method();
        return;
    }
    // The worker outlives the task: it waits for the main thread once more
    // before it ends, and the dispatcher keeps the order.
    FQueued = true;
    FDispatcher.Post([this, Method = std::move(Method)] {
        try {
            Method();
        } catch (...) {
            std::lock_guard<std::mutex> guard(FQueuedLock);
            if (!FQueuedError)
                FQueuedError = std::current_exception();
        }
    });
}

void TWorkerThread::WaitForAllWorkers()
{
    TWorkerCount& count = WorkerCount();
    std::unique_lock<std::mutex> guard(count.Lock);
    count.Ended.wait(guard, [&count] { return count.Running == 0; });
}
