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
    {
        const std::lock_guard lock(mutex_);
        const auto it = entries.find(key);
        if (it != entries.end() && now - it->second.at < maxAge_) {
            return it->second.value;
        }
    }
    // Read without the lock: a slow database must not hold up fresh entries.
    auto value = read();
    if (value) {
        const std::lock_guard lock(mutex_);
        if (entries.size() >= kMaxDistributions) {
            entries.clear();
        }
        entries.insert_or_assign(key, Entry<T>{*value, now});
    }
    return value;
}

std::optional<std::vector<ChipSummary>> CachedScoreStore::chips() {
    return cached(summaries_, 0, [this] { return inner_.chips(); });
}

std::optional<Distribution> CachedScoreStore::distribution(const std::string& chip, int bins) {
    return cached(distributions_, std::make_pair(chip, bins),
                  [&] { return inner_.distribution(chip, bins); });
}

} // namespace service
