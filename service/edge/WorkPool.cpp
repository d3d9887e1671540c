#include "service/edge/WorkPool.h"

namespace service {

WorkPool::WorkPool(unsigned threads, std::size_t queueLimit, std::chrono::milliseconds deadline)
    : queueLimit_(queueLimit), deadline_(deadline) {
    for (unsigned i = 0; i < threads; ++i) {
        threads_.emplace_back([this] { work(); });
    }
}

WorkPool::~WorkPool() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    ready_.notify_all();
    for (auto& thread : threads_) {
        thread.join();
    }
}

void WorkPool::stop() {
    std::deque<Queued> dropped; // destroyed outside the lock
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        dropped.swap(queue_);
    }
    ready_.notify_all();
}

bool WorkPool::post(Job job) {
    {
        const std::lock_guard lock(mutex_);
        if (stopping_ || queue_.size() >= queueLimit_) {
            return false;
        }
        queue_.push_back({std::move(job), std::chrono::steady_clock::now() + deadline_});
    }
    ready_.notify_one();
    return true;
}

void WorkPool::work() {
    for (;;) {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) {
            return;
        }
        Queued next = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        // The barrier: a job's failure must not end the thread, nor the process.
        try {
            next.job(std::chrono::steady_clock::now() > next.deadline);
        } catch (...) {
        }
    }
}

} // namespace service
