// A main-thread dispatcher for tests: posted tasks wait in a queue until the
// test thread, which plays the main thread, pumps them.
#pragma once

#include "WorkerThread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

class TQueueDispatcher : public TMainThreadDispatcher
{
public:
    // The thread that creates the dispatcher is its main thread.
    TQueueDispatcher() : FMainThread(std::this_thread::get_id()) {}

    void Post(std::function<void()> Task) override
    {
        bool wasEmpty;
        {
            std::lock_guard<std::mutex> guard(FLock);
            wasEmpty = FQueue.empty();
            FQueue.push_back(std::move(Task));
        }
        // The pump sleeps only on an empty queue.
        if (wasEmpty)
            FPosted.notify_all();
    }

    // Runs queued tasks on the calling thread until Done() holds, waiting for
    // new ones in between. Gives up after Limit (a safety net against a hung
    // worker, not a measure of speed) and returns whether Done() held.
    bool PumpUntil(const std::function<bool()>& Done,
                   std::chrono::milliseconds Limit = std::chrono::seconds(60))
    {
        const auto deadline = std::chrono::steady_clock::now() + Limit;
        while (!Done()) {
            std::function<void()> task;
            {
                std::unique_lock<std::mutex> guard(FLock);
                if (!FPosted.wait_until(guard, deadline, [this] { return !FQueue.empty(); }))
                    return Done();
                task = std::move(FQueue.front());
                FQueue.pop_front();
            }
            task();
        }
        return true;
    }

    bool OnMainThread() const { return std::this_thread::get_id() == FMainThread; }

private:
    std::thread::id FMainThread;
    std::mutex FLock;
    std::condition_variable FPosted;
    std::deque<std::function<void()>> FQueue;
};
