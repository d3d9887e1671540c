#pragma once

#include "service/SubmissionOutcome.h"
#include "service/edge/Http.h"
#include "service/store/Records.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace service {

// The service's counters, read by Prometheus from the metrics listener. The
// handler and the server record into it from any thread; the figures that
// are cheaper to read than to keep (open connections, the board's counts)
// come with the scrape.
class Metrics {
public:
    struct Gauges {
        std::int64_t openConnections = 0;
        std::optional<BoardCounts> board; // nothing when the database cannot say
    };

    void request(std::string_view path, int status, std::chrono::microseconds duration);
    void submission(SubmissionOutcome outcome);
    void databaseError();
    // A committed write transaction of `records` submissions.
    void batch(std::size_t records, std::chrono::microseconds duration);

    // The Prometheus text exposition format, version 0.0.4.
    std::string render(const Gauges& gauges) const;

private:
    static constexpr std::array<double, 12> kBuckets = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                        0.1,   0.25,   0.5,   1.0,  2.5,   10.0};
    struct Latency {
        std::array<std::uint64_t, kBuckets.size()> counts{}; // not cumulative
        std::uint64_t count = 0;
        double sum = 0.0;
    };

    void renderLatency(std::string& out) const; // with the lock held
    void renderCounts(std::string& out) const;  // with the lock held

    mutable std::mutex mutex_;
    std::map<std::pair<std::string_view, int>, std::uint64_t> requests_;
    std::map<std::string_view, Latency> latency_;
    std::map<SubmissionOutcome, std::uint64_t> submissions_;
    std::uint64_t databaseErrors_ = 0;
    struct Batches {
        std::uint64_t count = 0;
        std::uint64_t records = 0;
        double seconds = 0.0;
    } batches_;
};

// The counts a slow source gave last, so that a stalled database cannot
// stall a scrape: a read asks the source again on a thread of its own
// (unless a read is under way) and waits for it at most `patience`, then
// answers with the last counts known. A failed read keeps the ones before.
class LastKnownCounts {
public:
    using Source = std::function<std::optional<BoardCounts>()>;
    LastKnownCounts(Source source, std::chrono::milliseconds patience)
        : source_(std::move(source)), patience_(patience) {}
    ~LastKnownCounts(); // waits for the read under way
    LastKnownCounts(const LastKnownCounts&) = delete;
    LastKnownCounts& operator=(const LastKnownCounts&) = delete;

    std::optional<BoardCounts> get();

private:
    Source source_;
    std::chrono::milliseconds patience_;
    std::mutex mutex_; // guards what follows
    std::condition_variable done_;
    std::optional<BoardCounts> last_;
    bool reading_ = false;
    std::thread reader_;
};

// The label a path is counted under: one of the served routes or "other", so
// that made-up paths cannot grow the metrics.
std::string_view routeOf(std::string_view path);

// The metrics listener's answer: GET or HEAD /metrics, nothing else.
Response serveMetrics(const Request& request, const Metrics& metrics,
                      const std::function<Metrics::Gauges()>& gauges);

} // namespace service
