#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace service {

// Values read from the database, kept by processor while they still hold, at
// most `limit` of them: past it all are forgotten, so a flood of new names
// costs reads, never memory. Safe to use from several threads at once; two
// threads that miss together both read.
template <class Value> class Memo {
public:
    explicit Memo(std::size_t limit) : limit_(limit) {}

    // The kept value when `holds(value)`; nothing otherwise.
    template <class Holds> std::optional<Value> find(const std::string& key, Holds holds) {
        const std::lock_guard lock(mutex_);
        const auto found = known_.find(key);
        if (found != known_.end() && holds(found->second)) {
            return found->second;
        }
        return std::nullopt;
    }

    // The kept value when `holds(value)`, otherwise `read()`, kept.
    template <class Holds, class Read> Value get(const std::string& key, Holds holds, Read read) {
        if (auto kept = find(key, holds)) {
            return *kept;
        }
        Value value = read();
        const std::lock_guard lock(mutex_);
        if (known_.size() >= limit_) {
            known_.clear();
        }
        known_.insert_or_assign(key, value);
        return value;
    }

private:
    std::size_t limit_;
    std::mutex mutex_;
    std::map<std::string, Value> known_;
};

} // namespace service
