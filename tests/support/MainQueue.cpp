#include "support/MainQueue.h"

#include <algorithm>

namespace testsupport {
namespace {
constexpr std::chrono::milliseconds kPollSlice{10};
} // namespace

std::function<void(MainQueue::Item)> MainQueue::poster() const {
    return [state = state_](Item item) {
        {
            std::lock_guard lock(state->mutex);
            state->items.push_back(std::move(item));
        }
        state->posted.notify_one();
    };
}

bool MainQueue::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        Item item;
        {
            std::unique_lock lock(state_->mutex);
            // Wakes now and then, as `done()` may turn true without a post.
            const auto slice = std::min(deadline, std::chrono::steady_clock::now() + kPollSlice);
            if (!state_->posted.wait_until(lock, slice, [&] { return !state_->items.empty(); })) {
                if (std::chrono::steady_clock::now() >= deadline) {
                    return done();
                }
                continue;
            }
            item = std::move(state_->items.front());
            state_->items.pop_front();
        }
        item();
        ++itemsRun_;
    }
    return true;
}

} // namespace testsupport
