#include "service/CachedScoreStore.h"

namespace service {
namespace {

// Distributions are kept for this many processors at most; past it the
// table starts afresh, so that requests for made-up names cannot grow it.
constexpr std::size_t kMaxDistributions = 1000;

} // namespace

template <class T, class Key, class Read>
std::optional<T> CachedScoreStore::cached(std::map<Key, Entry<T>>& entries, const Key& key,
                                          Read read) {
    const auto now = clock_();
    std::optional<T> previous;
    {
        const std::lock_guard lock(mutex_);
        const auto it = entries.find(key);
        if (it != entries.end()) {
            if (now - it->second.at < maxAge_ || it->second.refreshing) {
                return it->second.value;
            }
            it->second.refreshing = true;
            previous = it->second.value;
        }
    }
    if (previous && worker_) {
        worker_->post([this, &entries, key, read, now] { keep(entries, key, read(), now); });
        return previous;
    }
    // Read without the lock: a slow database must not hold up fresh entries.
    auto value = read();
    keep(entries, key, value, now);
    return value;
}

template <class T, class Key>
void CachedScoreStore::keep(std::map<Key, Entry<T>>& entries, const Key& key,
                            const std::optional<T>& value,
                            std::chrono::steady_clock::time_point at) {
    const std::lock_guard lock(mutex_);
    if (value) {
        if (entries.size() >= kMaxDistributions && !entries.contains(key)) {
            entries.clear();
        }
        entries.insert_or_assign(key, Entry<T>{*value, at});
    } else if (const auto it = entries.find(key); it != entries.end()) {
        it->second.refreshing = false; // the next caller tries again
    }
}

std::optional<std::vector<ChipSummary>> CachedScoreStore::chips() {
    return cached(summaries_, 0, [this] { return inner_.chips(); });
}

std::optional<Distribution> CachedScoreStore::distribution(const std::string& chip, int bins) {
    // By value: a background refresh outlives the call.
    return cached(distributions_, std::make_pair(chip, bins),
                  [this, chip, bins] { return inner_.distribution(chip, bins); });
}

} // namespace service
