// The program's worker threads, over std::thread and free of any widget
// toolkit. The main thread is reached through a dispatcher: the windows plug
// their event loop into it, the tests a queue that they pump themselves.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

// Runs tasks on the main thread, in the order they were posted.
class TMainThreadDispatcher
{
public:
    virtual ~TMainThreadDispatcher() = default;
    // Queues Task for the main thread and returns at once; may be called from
    // any thread.
    virtual void Post(std::function<void()> Task) = 0;
};

// A worker: created suspended, started once, asked to stop through an atomic
// flag, and told to the main thread when it is done.
//
// Lifetime: a worker marked FreeOnTerminate (the default) deletes itself on
// its own thread right after its termination callback has run on the main
// thread, so whoever starts it must not touch it after that callback. A
// worker that is never started, or not marked FreeOnTerminate, belongs to
// whoever created it; its destructor then waits for its thread to end.
class TWorkerThread
{
public:
    explicit TWorkerThread(TMainThreadDispatcher& Dispatcher);
    virtual ~TWorkerThread();
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;

    // Launches the thread, which runs Execute and then the termination
    // callback. A second call does nothing.
    void Start();
    // Asks the worker to stop; it reads the flag where its job allows.
    void Terminate() { FTerminated.store(true); }
    bool Terminated() const { return FTerminated.load(); }

    // Set before Start. Runs on the main thread once Execute has returned,
    // whatever happened in it, with the worker as sender.
    std::function<void(TWorkerThread* Sender)> OnTerminate;
    bool FreeOnTerminate = true;

    // Blocks until every started worker of the process has ended, its
    // termination callback run and, when it frees itself, its object freed.
    // Must not be called on the main thread while a worker still needs it
    // (that is, before all termination callbacks have run).
    static void WaitForAllWorkers();

protected:
    // The job; runs on the worker's own thread. An error leaving it is
    // absorbed: the termination callback runs all the same.
    virtual void Execute() = 0;

    // Runs Method on the main thread while the worker waits, and raises again
    // in the worker any error that Method raised. Called from any thread other
    // than the worker's own (the main thread, or a worker never started), it
    // runs Method at once.
    void Synchronize(const std::function<void()>& Method);
    // Has the main thread run Method after whatever the worker posted before,
    // without waiting for it: for news that the worker need not see handled.
    // An error Method raises is raised in the worker by its next Synchronize.
    // Called from any other thread, it runs Method at once.
    void Queue(std::function<void()> Method);

private:
    void ThreadProc();

    TMainThreadDispatcher& FDispatcher;
    std::thread FThread;
    std::mutex FStartLock; // held while Start stores FThread
    std::atomic<bool> FTerminated{false};
    bool FStarted = false;
    bool FQueued = false; // the worker's own: whether it has queued a method
    std::mutex FQueuedLock;
    std::exception_ptr FQueuedError; // the first error of a queued method
};
