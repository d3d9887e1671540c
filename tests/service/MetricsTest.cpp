#include "service/Metrics.h"

#include <gtest/gtest.h>

#include <future>

namespace service {
namespace {

TEST(Metrics, CountsRequestsSubmissionsAndLatencyInTheExpositionFormat) {
    Metrics metrics;
    metrics.request("/api/submit", 200, std::chrono::microseconds(3000));
    metrics.request("/r/12", 404, std::chrono::microseconds(20));
    metrics.request("/no/such/path", 404, std::chrono::seconds(20));
    metrics.submission(SubmissionOutcome::accepted);
    metrics.submission(SubmissionOutcome::rateLimited);
    metrics.databaseError();
    metrics.batch(3, std::chrono::microseconds(1500));
    const auto text = metrics.render({3, BoardCounts{24, 1}});
    const std::string bucket = "score_service_request_duration_seconds_bucket{route=";
    for (const std::string& line : std::vector<std::string>{
             "score_service_requests_total{route=\"/api/submit\",status=\"200\"} 1\n",
             "score_service_requests_total{route=\"/r/\",status=\"404\"} 1\n",
             "score_service_requests_total{route=\"other\",status=\"404\"} 1\n",
             bucket + "\"/api/submit\",le=\"0.0025\"} 0\n",
             bucket + "\"/api/submit\",le=\"0.005\"} 1\n",
             bucket + "\"other\",le=\"10\"} 0\n",
             bucket + "\"other\",le=\"+Inf\"} 1\n",
             "score_service_submissions_total{outcome=\"accepted\"} 1\n",
             "score_service_submissions_total{outcome=\"refused\",reason=\"rate_limited\"} 1\n",
             "score_service_submissions_total{outcome=\"held\"} 0\n",
             "score_service_database_errors_total 1\n",
             "score_service_write_batch_records_total 3\n",
             "score_service_write_batch_seconds_total 0.0015\n",
             "score_service_records 24\n",
             "score_service_held_records 1\n",
             "score_service_build_info{version=\"",
         }) {
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
    }
    EXPECT_EQ(metrics.render({}).find("records gauge"), std::string::npos); // unknown: left out
}

TEST(Metrics, TheBoardsCountsNeverHoldAScrapeOnAStalledDatabase) {
    std::promise<void> release;
    const auto released = release.get_future().share();
    LastKnownCounts records(
        [released]() -> std::optional<BoardCounts> {
            released.wait();
            return BoardCounts{42, 0};
        },
        std::chrono::milliseconds(50));
    auto first = std::async(std::launch::async, [&] { return records.get(); });
    const auto waited = first.wait_for(std::chrono::seconds(60));
    release.set_value();
    ASSERT_EQ(waited, std::future_status::ready) << "a scrape waited on a stalled database";
    EXPECT_EQ(first.get(), std::nullopt);
    std::optional<BoardCounts> known;
    for (int i = 0; i < 1200 && !known; ++i) { // 60 s of patience
        known = records.get();
    }
    EXPECT_EQ(known.value_or(BoardCounts{}).records, 42);
}

} // namespace
} // namespace service
