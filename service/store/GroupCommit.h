#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace service {

// Writes what callers hand in concurrently in shared batches: the caller
// that finds no batch under way writes every item waiting (up to
// `maxBatch`, oldest first) in one go, the others wait for it. A durable
// commit costs one sync of the disk however many rows it holds, so the rate
// then follows the disk's syncs times the batch, not the syncs alone. Each
// caller gets its own item's result, only after the batch holding it ended.
template <class Item, class Result> class GroupCommit {
public:
    // One result per item, in order. Must not throw: a failed batch answers
    // each of its items with a failure.
    using WriteBatch = std::function<std::vector<Result>(const std::vector<const Item*>&)>;

    GroupCommit(std::size_t maxBatch, WriteBatch write)
        : maxBatch_(maxBatch < 1 ? 1 : maxBatch), write_(std::move(write)) {}

    Result submit(const Item& item) {
        Waiting self{&item, std::nullopt};
        std::unique_lock lock(mutex_);
        if (closed_) {
            return Result{};
        }
        waiting_.push_back(&self);
        while (!self.result) {
            if (writing_) {
                written_.wait(lock);
            } else {
                writeOneBatch(lock);
            }
        }
        return std::move(*self.result);
    }

    // Fails every item not yet in a batch, and every one handed in later:
    // once their callers can no longer be answered, nothing more is written.
    // A batch being written finishes and answers its own.
    void close() {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        for (Waiting* waiting : waiting_) {
            waiting->result.emplace();
        }
        waiting_.clear();
        written_.notify_all();
    }

    // Items handed in and not yet in a batch.
    std::size_t waiting() {
        const std::lock_guard lock(mutex_);
        return waiting_.size();
    }

private:
    struct Waiting {
        const Item* item;
        std::optional<Result> result;
    };

    // Called with the lock held; releases it while writing.
    void writeOneBatch(std::unique_lock<std::mutex>& lock) {
        writing_ = true;
        std::vector<Waiting*> batch;
        std::vector<const Item*> items;
        while (!waiting_.empty() && batch.size() < maxBatch_) {
            batch.push_back(waiting_.front());
            items.push_back(waiting_.front()->item);
            waiting_.pop_front();
        }
        lock.unlock();
        std::vector<Result> results;
        try {
            results = write_(items);
        } catch (...) { // NOLINT(bugprone-empty-catch): answered below as a failed batch
        }
        results.resize(batch.size()); // a short answer fails the rest
        lock.lock();
        for (std::size_t i = 0; i < batch.size(); ++i) {
            batch[i]->result = std::move(results[i]);
        }
        writing_ = false;
        written_.notify_all();
    }

    std::size_t maxBatch_;
    WriteBatch write_;
    std::mutex mutex_; // guards what follows
    std::condition_variable written_;
    std::deque<Waiting*> waiting_;
    bool writing_ = false;
    bool closed_ = false;
};

} // namespace service
