#pragma once

#include <QtGlobal>

#include <atomic>
#include <functional>

// Long reads run on a worker thread, so that the window keeps answering (the
// progress bar, Cancel, Escape) whatever single step of the work takes long.
namespace backgroundwork {

// How often the waiting thread looks up from its wait.
constexpr int kPollMs = 40;

// Runs `work` on a worker thread and returns once it has ended. Meanwhile the
// calling thread calls `poll` about every kPollMs; once `poll` returns false,
// `stop` is set and the work is expected to end at its next step.
void run(const std::function<void(const std::atomic<bool> &stop)> &work, const std::function<bool()> &poll);

} // namespace backgroundwork
