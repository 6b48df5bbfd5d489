#include "WorkerThread.h"

#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>

namespace {

// The worker whose thread is running the calling code, if any.
thread_local TWorkerThread* CurrentWorker = nullptr;

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
        if (OnTerminate)
            Synchronize([this] { OnTerminate(this); });
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
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    FDispatcher.Post([&Method, done] {
        try {
            Method();
            done->set_value();
        } catch (...) {
            done->set_exception(std::current_exception());
        }
    });
    finished.get();
}

void TWorkerThread::WaitForAllWorkers()
{
    TWorkerCount& count = WorkerCount();
    std::unique_lock<std::mutex> guard(count.Lock);
    count.Ended.wait(guard, [&count] { return count.Running == 0; });
}
