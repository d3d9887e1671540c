#include "service/RateLimiter.h"

#include <algorithm>
#include <cmath>

namespace service {
namespace {

// Past this many clients, buckets that have refilled are dropped, so that a
// stream of new addresses cannot grow the table without bound.
constexpr std::size_t kPruneThreshold = 100000;

} // namespace

BucketDecision takeToken(const RateLimit& limit, Bucket bucket,
                         std::chrono::steady_clock::time_point now) {
    const double perSecond = limit.perMinute / 60.0;
    const double elapsed =
        std::max(0.0, std::chrono::duration<double>(now - bucket.updated).count());
    bucket.tokens = std::min(limit.burst, bucket.tokens + elapsed * perSecond);
    bucket.updated = now;
    if (bucket.tokens >= 1.0) {
        bucket.tokens -= 1.0;
        return {bucket, std::nullopt};
    }
    const auto wait = static_cast<long>(std::ceil((1.0 - bucket.tokens) / perSecond));
    return {bucket, std::chrono::seconds(std::max(1L, wait))};
}

std::optional<std::chrono::seconds> RateLimiter::admit(const std::string& client,
                                                       std::chrono::steady_clock::time_point now) {
    if (limit_.perMinute <= 0.0) {
        return std::nullopt;
    }
    const std::lock_guard lock(mutex_);
    if (buckets_.size() >= kPruneThreshold) {
        forgetFullBuckets(now);
    }
    auto [it, isNew] = buckets_.try_emplace(client, Bucket{limit_.burst, now});
    const BucketDecision decision = takeToken(limit_, it->second, now);
    it->second = decision.bucket;
    return decision.wait;
}

void RateLimiter::forgetFullBuckets(std::chrono::steady_clock::time_point now) {
    const double perSecond = limit_.perMinute / 60.0;
    std::erase_if(buckets_, [&](const auto& entry) {
        const double elapsed = std::chrono::duration<double>(now - entry.second.updated).count();
        return entry.second.tokens + elapsed * perSecond >= limit_.burst;
    });
}

} // namespace service
