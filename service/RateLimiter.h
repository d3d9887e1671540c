#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace service {

struct RateLimit {
    double perMinute = 30.0; // tokens added per minute; 0 turns the limit off
    double burst = 10.0;     // bucket size: submissions allowed at once
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
BucketDecision takeToken(const RateLimit& limit, Bucket bucket,
                         std::chrono::steady_clock::time_point now);

// Buckets per client address, safe to share between server threads.
class RateLimiter {
public:
    explicit RateLimiter(RateLimit limit) : limit_(limit) {}

    // How long `client` must wait; nothing when the submission may go ahead.
    std::optional<std::chrono::seconds> admit(const std::string& client,
                                              std::chrono::steady_clock::time_point now);

private:
    void forgetFullBuckets(std::chrono::steady_clock::time_point now);

    RateLimit limit_;
    std::mutex mutex_;
    std::unordered_map<std::string, Bucket> buckets_;
};

} // namespace service
