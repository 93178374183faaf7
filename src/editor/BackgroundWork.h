#pragma once

#include <QtGlobal>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Long reads run on a worker thread, so that the window keeps answering (the
// progress bar, Cancel, Escape) whatever single step of the work takes long.
namespace backgroundwork {

// How often the waiting thread looks up from its wait.
constexpr int kPollMs = 40;

// Work started on a worker thread, which the starting thread may wait for
// later and do other work meanwhile. Destroying the job stops the work and
// waits for it to end.
class Job {
public:
    using Work = std::function<void(const std::atomic<bool> &stop)>;
    explicit Job(Work work);
    ~Job();
    Job(const Job &) = delete;
    Job &operator=(const Job &) = delete;

    bool done() const;
    // Asks the work to end at its next step.
    void stop() { m_stop = true; }
    // Returns once the work has ended, or once `until` (checked between the
    // waits) holds. Meanwhile calls `poll` about every kPollMs; once `poll`
    // returns false, the work is stopped.
    void wait(const std::function<bool()> &poll, const std::function<bool()> &until = {});

private:
    std::atomic<bool> m_stop = false;
    mutable std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_done = false;
    std::thread m_worker;
};

} // namespace backgroundwork
