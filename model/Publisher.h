#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace model {

// A valueless "about to change" event with any number of subscribers.
// Used on the main thread only, like the fields it announces.
class Publisher {
    struct Slots {
        std::uint64_t nextId = 0;
        std::vector<std::pair<std::uint64_t, std::function<void()>>> handlers;
    };

public:
    // Ends its subscription when destroyed; may outlive the publisher.
    class Subscription {
    public:
        Subscription() = default;
        Subscription(Subscription&& other) noexcept;
        Subscription& operator=(Subscription&& other) noexcept;
        Subscription(const Subscription&) = delete;
        Subscription& operator=(const Subscription&) = delete;
        ~Subscription();

    private:
        friend class Publisher;
        Subscription(std::weak_ptr<Slots> slots, std::uint64_t id);
        void reset();

        std::weak_ptr<Slots> slots_;
        std::uint64_t id_ = 0;
    };

    Publisher() = default;
    Publisher(const Publisher&) = delete;
    Publisher& operator=(const Publisher&) = delete;

    [[nodiscard]] Subscription subscribe(std::function<void()> handler);

    // Calls every handler subscribed at the time of the call, in subscription order.
    void emit() const;

private:
    std::shared_ptr<Slots> slots_ = std::make_shared<Slots>();
};

// A field whose every assignment is announced on its owner's publisher before
// the value is stored, with no comparison against the old value.
template <typename T> class Published {
public:
    Published(Publisher& willChange, T initial)
        : willChange_(willChange), value_(std::move(initial)) {}
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    Published& operator=(T value) {
        willChange_.emit();
        value_ = std::move(value);
        return *this;
    }

    const T& get() const noexcept { return value_; }
    const T& operator*() const noexcept { return value_; }
    const T* operator->() const noexcept { return &value_; }

private:
    Publisher& willChange_;
    T value_;
};

} // namespace model
