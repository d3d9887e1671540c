#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

namespace service {

// Runs posted jobs one at a time on a thread of its own, so that a slow
// refresh is paid by no request. On destruction the running job finishes and
// queued ones are dropped.
class RefreshWorker {
public:
    RefreshWorker() : thread_([this](const std::stop_token& stop) { run(stop); }) {}

    void post(std::function<void()> job) {
        {
            const std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        ready_.notify_one();
    }

private:
    void run(const std::stop_token& stop) {
        std::unique_lock lock(mutex_);
        // The wait also returns true once a stop is requested while jobs are
        // queued; they are dropped then, or a slow database holds shutdown.
        while (ready_.wait(lock, stop, [this] { return !jobs_.empty(); }) &&
               !stop.stop_requested()) {
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable_any ready_;
    std::deque<std::function<void()>> jobs_;
    std::jthread thread_; // last: stopped and joined before the queue goes
};

} // namespace service
