#pragma once

#include <array>
#include <chrono>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace service {

struct RateLimit {
    double perMinute = 30.0;       // submissions: tokens added per minute; 0 turns every limit off
    double burst = 10.0;           // bucket size: submissions allowed at once
    double readsPerMinute = 600.0; // the page and /api/scores, which may fill the page cache
    double readBurst = 120.0;
};

// One client's bucket, a plain value so the decision is a pure function.
struct Bucket {
    double tokens = 0.0;
    std::chrono::steady_clock::time_point updated;
};

struct BucketDecision {
    Bucket bucket;                            // the bucket after the attempt
    std::optional<std::chrono::seconds> wait; // set when refused: when one token is back
};

// Refills `bucket` up to `now`, then takes one token if there is one.
BucketDecision takeToken(double perMinute, double burst, Bucket bucket,
                         std::chrono::steady_clock::time_point now);

// Whom a limit counts: an IPv4 address whole, also when mapped into IPv6, and
// an IPv6 address by its /64, since one client is handed the whole prefix.
std::string clientKey(const std::string& address);

// Buckets per client, safe to share between threads. Memory is bounded: each
// of a few shards keeps its most recently seen clients, and every admission
// drops at most a couple of the oldest, so no call scans the table.
class RateLimiter {
public:
    explicit RateLimiter(RateLimit limit, std::size_t maxClients = 65536);

    // How long `client` must wait; nothing when the request may go ahead.
    std::optional<std::chrono::seconds> admit(const std::string& client,
                                              std::chrono::steady_clock::time_point now);
    std::optional<std::chrono::seconds> admitRead(const std::string& client,
                                                  std::chrono::steady_clock::time_point now);
    // Clients remembered, submissions and reads together.
    std::size_t size();

private:
    static constexpr std::size_t kShards = 16;
    struct Shard {
        std::mutex mutex;
        std::list<std::pair<std::string, Bucket>> byAge; // least recently seen first
        std::unordered_map<std::string, std::list<std::pair<std::string, Bucket>>::iterator> index;
    };
    struct Table {
        std::array<Shard, kShards> shards;
    };
    std::optional<std::chrono::seconds> take(Table& table, double perMinute, double burst,
                                             const std::string& client,
                                             std::chrono::steady_clock::time_point now);

    RateLimit limit_;
    std::size_t perShard_;
    Table writes_;
    Table reads_;
};

} // namespace service
