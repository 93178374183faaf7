#include "editor/BackgroundWork.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace backgroundwork {

void run(const std::function<void(const std::atomic<bool> &stop)> &work, const std::function<bool()> &poll)
{
    std::atomic<bool> stop = false;
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::thread worker([&] {
        work(stop);
        const std::lock_guard lock(mutex);
        done = true;
        ended.notify_all();
    });
    std::unique_lock lock(mutex);
    while (!ended.wait_for(lock, std::chrono::milliseconds(kPollMs), [&] { return done; })) {
        if (stop || !poll)
            continue;
        // The poll may run the event loop: not while holding the lock the
        // worker needs to finish.
        lock.unlock();
        if (!poll())
            stop = true;
        lock.lock();
    }
    lock.unlock();
    worker.join();
}

} // namespace backgroundwork
