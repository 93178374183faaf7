#include "editor/BackgroundWork.h"

#include <chrono>

namespace backgroundwork {

Job::Job(Work work)
    : m_worker([this, work = std::move(work)] {
          work(m_stop);
          const std::lock_guard lock(m_mutex);
          m_done = true;
          m_ended.notify_all();
      })
{ }

Job::~Job()
{
    m_stop = true;
    m_worker.join();
}

bool Job::done() const
{
    const std::lock_guard lock(m_mutex);
    return m_done;
}

void Job::wait(const std::function<bool()> &poll, const std::function<bool()> &until)
{
    // What `until` waits for is not announced, so it is looked at often.
    const auto step = std::chrono::milliseconds(until ? 2 : kPollMs);
    auto nextPoll = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPollMs);
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_ended.wait_for(lock, step, [&] { return m_done; }))
            return;
        // The poll may run the event loop: not while holding the lock the
        // worker needs to finish.
        lock.unlock();
        if (until && until())
            return;
        if (std::chrono::steady_clock::now() >= nextPoll) {
            if (!m_stop && poll && !poll())
                m_stop = true;
            nextPoll = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPollMs);
        }
        lock.lock();
    }
}

} // namespace backgroundwork
