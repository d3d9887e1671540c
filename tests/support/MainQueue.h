#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace testsupport {

// Stands in for the window's event loop: any thread posts work items, and the
// test's own thread runs them while it waits for a condition.
class MainQueue {
public:
    using Item = std::function<void()>;

    // A poster for the view model; stays safe to call after the queue is gone.
    std::function<void(Item)> poster() const;

    // Runs posted items on the calling thread until `done()` holds or the
    // timeout passes. Returns whether `done()` holds.
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds timeout = std::chrono::seconds(30));

    std::size_t itemsRun() const noexcept { return itemsRun_; }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable posted;
        std::deque<Item> items;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
    std::size_t itemsRun_ = 0;
};

} // namespace testsupport
