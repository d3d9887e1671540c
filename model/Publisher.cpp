#include "model/Publisher.h"

#include <algorithm>

namespace model {

Publisher::Subscription::Subscription(std::weak_ptr<Slots> slots, std::uint64_t id)
    : slots_(std::move(slots)), id_(id) {}

Publisher::Subscription::Subscription(Subscription&& other) noexcept
    : slots_(std::move(other.slots_)), id_(other.id_) {
    other.slots_.reset();
}

Publisher::Subscription& Publisher::Subscription::operator=(Subscription&& other) noexcept {
    if (this != &other) {
        reset();
        slots_ = std::move(other.slots_);
        id_ = other.id_;
        other.slots_.reset();
    }
    return *this;
}

Publisher::Subscription::~Subscription() {
    reset();
}

void Publisher::Subscription::reset() {
    if (auto slots = slots_.lock()) {
        std::erase_if(slots->handlers, [this](const auto& entry) { return entry.first == id_; });
    }
    slots_.reset();
}

Publisher::Subscription Publisher::subscribe(std::function<void()> handler) {
    const std::uint64_t id = ++slots_->nextId;
    slots_->handlers.emplace_back(id, std::move(handler));
    return Subscription(slots_, id);
}

void Publisher::emit() const {
    // A copy, so that a handler may subscribe or unsubscribe while we iterate.
    const auto handlers = slots_->handlers;
    for (const auto& [id, handler] : handlers) {
        handler();
    }
}

} // namespace model
