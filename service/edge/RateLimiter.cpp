#include "service/edge/RateLimiter.h"

#include "service/edge/HttpRules.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cmath>

namespace service {
namespace {

Bucket refilled(double perSecond, double burst, Bucket bucket,
                std::chrono::steady_clock::time_point now) {
    const double elapsed =
        std::max(0.0, std::chrono::duration<double>(now - bucket.updated).count());
    bucket.tokens = std::min(burst, bucket.tokens + elapsed * perSecond);
    bucket.updated = now;
    return bucket;
}

} // namespace

BucketDecision takeToken(double perMinute, double burst, Bucket bucket,
                         std::chrono::steady_clock::time_point now) {
    const double perSecond = perMinute / 60.0;
    bucket = refilled(perSecond, burst, bucket, now);
    if (bucket.tokens >= 1.0) {
        bucket.tokens -= 1.0;
        return {bucket, std::nullopt};
    }
    const auto wait = static_cast<long>(std::ceil((1.0 - bucket.tokens) / perSecond));
    return {bucket, std::chrono::seconds(std::max(1L, wait))};
}

std::string clientKey(const std::string& address) {
    // On a dual-stack listener an IPv4 client arrives mapped (::ffff:a.b.c.d):
    // keyed by its /64, every IPv4 client would share one limit, so the
    // canonical form, which unmaps it, decides.
    const auto canonical = canonicalAddress(address);
    std::array<unsigned char, 16> raw{};
    if (!canonical || inet_pton(AF_INET6, canonical->c_str(), raw.data()) != 1) {
        return canonical.value_or(address);
    }
    std::array<char, INET6_ADDRSTRLEN> text{};
    std::fill(raw.begin() + 8, raw.end(), 0);
    inet_ntop(AF_INET6, raw.data(), text.data(), text.size());
    return std::string(text.data()) + "/64";
}

RateLimiter::RateLimiter(RateLimit limit, std::size_t maxClients)
    : limit_(limit), perShard_(std::max<std::size_t>(1, maxClients / kShards)) {}

std::optional<std::chrono::seconds> RateLimiter::admit(const std::string& client,
                                                       std::chrono::steady_clock::time_point now) {
    return take(writes_, limit_.perMinute, limit_.burst, client, now);
}

std::optional<std::chrono::seconds>
RateLimiter::admitRead(const std::string& client, std::chrono::steady_clock::time_point now) {
    return take(reads_, limit_.readsPerMinute, limit_.readBurst, client, now);
}

std::optional<std::chrono::seconds> RateLimiter::take(Table& table, double perMinute, double burst,
                                                      const std::string& client,
                                                      std::chrono::steady_clock::time_point now) {
    if (limit_.perMinute <= 0.0 || perMinute <= 0.0) {
        return std::nullopt;
    }
    const std::string key = clientKey(client);
    Shard& shard = table.shards[std::hash<std::string>{}(key) % kShards];
    const std::lock_guard lock(shard.mutex);
    auto found = shard.index.find(key);
    if (found == shard.index.end()) {
        // The oldest client goes when the shard is full, or when its bucket
        // has refilled, which makes it the same as a client never seen.
        for (int dropped = 0; dropped < 2 && !shard.byAge.empty(); ++dropped) {
            const auto& [oldest, bucket] = shard.byAge.front();
            const bool full = refilled(perMinute / 60.0, burst, bucket, now).tokens >= burst;
            if (shard.byAge.size() < perShard_ && !full) {
                break;
            }
            shard.index.erase(oldest);
            shard.byAge.pop_front();
        }
        shard.byAge.emplace_back(key, Bucket{burst, now});
        found = shard.index.emplace(key, std::prev(shard.byAge.end())).first;
    }
    shard.byAge.splice(shard.byAge.end(), shard.byAge, found->second);
    const BucketDecision decision = takeToken(perMinute, burst, found->second->second, now);
    found->second->second = decision.bucket;
    return decision.wait;
}

std::size_t RateLimiter::size() {
    std::size_t total = 0;
    for (Table* table : {&writes_, &reads_}) {
        for (auto& shard : table->shards) {
            const std::lock_guard lock(shard.mutex);
            total += shard.byAge.size();
        }
    }
    return total;
}

} // namespace service
