#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace service {

// A small, bounded set of threads for work that may block (the database), so
// that connection handling never waits on it. Jobs wait in a queue of fixed
// size; one that waited past its deadline is told so instead of being run.
class WorkPool {
public:
    // `expired` is true when the job waited too long and must only report that.
    using Job = std::function<void(bool expired)>;

    WorkPool(unsigned threads, std::size_t queueLimit, std::chrono::milliseconds deadline);
    // Runs what is queued (jobs past their deadline as expired), then joins.
    ~WorkPool();
    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    // False when the queue is full or the pool stopped: the caller answers "busy" itself.
    bool post(Job job);
    // Drops the jobs that have not started, whose callers can no longer be
    // answered, and takes no more; those running finish.
    void stop();

private:
    struct Queued {
        Job job;
        std::chrono::steady_clock::time_point deadline;
    };
    void work();

    std::size_t queueLimit_;
    std::chrono::milliseconds deadline_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Queued> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace service
