#pragma once

#include "service/RefreshWorker.h"
#include "service/ScoreStore.h"

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

namespace service {

// Keeps the leaderboard's aggregates (per-processor summaries and
// distributions) for `maxAge`, so that a page view costs no scan of every
// record once there are millions. Submissions and the lists of best results
// pass straight through, so a new record is listed at once; only its
// processor's counts may lag by up to `maxAge`, plus one refresh. An expired
// entry is refreshed once, while every caller gets the previous value: on a
// thread of the store's own (`Refresh::background`), or on the caller's
// thread (`Refresh::byCaller`, which then waits for it).
class CachedScoreStore final : public ScoreStore {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    enum class Refresh { byCaller, background };

    CachedScoreStore(ScoreStore& inner, std::chrono::steady_clock::duration maxAge, Clock clock,
                     Refresh refresh = Refresh::byCaller)
        : inner_(inner), maxAge_(maxAge), clock_(std::move(clock)) {
        if (refresh == Refresh::background) {
            worker_.emplace();
        }
    }

    using ScoreStore::add;
    std::optional<Placement> add(const submission::Payload& payload, const std::string& receivedAt,
                                 const ClientVersion& client) override {
        return inner_.add(payload, receivedAt, client);
    }
    std::optional<std::vector<StoredScore>> best(const std::optional<std::string>& chip,
                                                 int limit) override {
        return inner_.best(chip, limit);
    }
    std::optional<std::vector<ChipSummary>> chips() override;
    std::optional<Distribution> distribution(const std::string& chip, int bins) override;
    bool reachable() override { return inner_.reachable(); }

private:
    template <class T> struct Entry {
        T value;
        std::chrono::steady_clock::time_point at;
        bool refreshing = false;
    };
    template <class T, class Key, class Read>
    std::optional<T> cached(std::map<Key, Entry<T>>& entries, const Key& key, Read read);
    template <class T, class Key>
    void keep(std::map<Key, Entry<T>>& entries, const Key& key, const std::optional<T>& value,
              std::chrono::steady_clock::time_point at);

    ScoreStore& inner_;
    std::chrono::steady_clock::duration maxAge_;
    Clock clock_;
    std::mutex mutex_;
    std::map<int, Entry<std::vector<ChipSummary>>> summaries_;
    std::map<std::pair<std::string, int>, Entry<Distribution>> distributions_;
    std::optional<RefreshWorker> worker_; // last: its job touches the members above
};

} // namespace service
