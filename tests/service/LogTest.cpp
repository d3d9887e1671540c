#include "service/Log.h"

#include "service/Metrics.h"
#include "service/ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <future>
#include <regex>
#include <thread>
#include <unistd.h>

namespace service {
namespace {

using namespace std::chrono_literals;
using Time = std::chrono::system_clock::time_point;

TEST(LogCoalescer, WritesEachErrorOnceASecondOnOneTimestampedLineAndCountsTheRepeats) {
    const char* down = "database: connection refused\n\tIs the server running?";
    const std::string downLine = " database: connection refused Is the server running?";
    const std::vector<std::tuple<std::chrono::milliseconds, const char*, std::string>> steps = {
        {0ms, down, "00.000Z" + downLine},
        {100ms, down, ""},
        {200ms, "database: timeout\x1b[2J", "00.200Z database: timeout?[2J"},
        {300ms, down, ""},
        {1000ms, nullptr, "01.000Z … and 2 more in the last second"}, // nullptr: time passes
        {1500ms, down, "01.500Z" + downLine},
    };
    Coalescer coalescer;
    for (const auto& [at, message, written] : steps) {
        const auto lines =
            message ? coalescer.add(message, Time{} + at) : coalescer.due(Time{} + at);
        std::string text;
        for (const auto& line : lines) {
            text += line.substr(std::string("1970-01-01T00:00:").size());
        }
        EXPECT_EQ(text, written) << "at " << at.count() << " ms";
    }
    for (std::size_t kind = 0; kind < Coalescer::kMaxKinds + 4; ++kind) {
        coalescer.add("kind " + std::to_string(kind), Time{} + 5s); // the last four only counted
    }
    EXPECT_EQ(coalescer.due(Time{} + 6s).at(0),
              "1970-01-01T00:00:06.000Z … and 4 more in the last second");
}

// What the operator must see whole is neither coalesced nor dropped, past the kinds a second
// takes and past a full queue alike.
TEST(LineLog, WritesWholeMessagesThatRepeatsAndAFullQueueWouldLose) {
    std::array<int, 2> ends{};
    ASSERT_EQ(pipe(ends.data()), 0);
    {
        LineLog log(ends[1], [] { return Time{}; }, {4, 2000ms});
        for (std::size_t kind = 0; kind < Coalescer::kMaxKinds + 4; ++kind) {
            log.report("kind " + std::to_string(kind));
            log.reportWhole("may be stored: ids " + std::to_string(kind));
        }
    }
    close(ends[1]);
    const std::string text = readFile("/proc/self/fd/" + std::to_string(ends[0]));
    close(ends[0]);
    for (std::size_t kind = 0; kind < Coalescer::kMaxKinds + 4; ++kind) {
        EXPECT_NE(text.find("Z may be stored: ids " + std::to_string(kind) + "\n"),
                  std::string::npos)
            << kind;
    }
}

// Lines written and lines reported dropped.
long long accounted(const std::string& text) {
    long long lines = std::count(text.begin(), text.end(), 'x') / 1000;
    const std::regex note("… (\\d+) log lines dropped\n");
    for (std::sregex_iterator it(text.begin(), text.end(), note), end; it != end; ++it) {
        lines += std::stoll((*it)[1]);
    }
    return lines;
}

// False when `work`, run on a thread of its own, has not finished in time.
bool finishesWithin(std::chrono::seconds limit, std::function<void()> work) {
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    std::thread([done, work = std::move(work)] {
        work();
        done->set_value();
    }).detach();
    return finished.wait_for(limit) == std::future_status::ready;
}

TEST(LineLogStalled, NeverBlocksItsWritersNorItsEndAndCountsEveryLineItDrops) {
    static constexpr int kLines = 20000;
    const auto now = [] { return std::chrono::system_clock::now(); };
    std::array<int, 2> stalled{}, resumed{};
    ASSERT_EQ(pipe(stalled.data()) + pipe(resumed.data()), 0);
    fcntl(stalled[1], F_SETPIPE_SZ, 4096); // full after four lines
    fcntl(resumed[1], F_SETPIPE_SZ, 4096);
    const std::string line(1000, 'x');
    // Nobody reads the first pipe; its write end stays open for the writer left behind.
    EXPECT_TRUE(finishesWithin(60s, [&] {
        LineLog log(stalled[1], now, {64, 200ms});
        for (int i = 0; i < kLines; ++i) {
            log.write(line);
            log.report("database: down");
        }
    }));
    close(stalled[0]);
    // The second one's reader comes back: every line arrives or is counted as dropped.
    // (A line lost uncounted leaves the reader waiting, and the bound fails the test.)
    EXPECT_TRUE(finishesWithin(60s, [&] {
        LineLog log(resumed[1], now, {64, 200ms});
        for (int i = 0; i < kLines; ++i) {
            log.write(line);
        }
        std::string text;
        for (std::array<char, 65536> chunk{}; accounted(text) < kLines;) {
            text.append(chunk.data(), std::max<ssize_t>(read(resumed[0], chunk.data(), 65536), 0));
        }
        EXPECT_NE(text.find("dropped"), std::string::npos);
        EXPECT_EQ(accounted(text), kLines);
    }));
    close(resumed[0]);
    close(resumed[1]);
}

TEST(LogLine, NamesTheRequestButCannotBeSplitByIt) {
    const std::string path = "/a\r\n1970-01-01 forged\xc2\x9b[m\xe2\x80\xae\xff"; // C1 CSI: %C2%9B
    EXPECT_EQ(formatLogLine({{}, "10.0.0.1", "GET", path, 200, 1500us, 7}),
              "1970-01-01T00:00:00.000Z 10.0.0.1 GET /a??1970-01-01?forged?[m?? 200 1.5ms id=7");
}

TEST(Metrics, CountsRequestsSubmissionsAndLatencyInTheExpositionFormat) {
    Metrics metrics;
    metrics.request("/api/submit", 200, std::chrono::microseconds(3000));
    metrics.request("/r/12", 404, std::chrono::microseconds(20));
    metrics.request("/no/such/path", 404, std::chrono::seconds(20));
    metrics.submission(SubmissionOutcome::accepted);
    metrics.submission(SubmissionOutcome::rateLimited);
    metrics.databaseError();
    metrics.batch(3, std::chrono::microseconds(1500));
    const auto text = metrics.render({});
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
             "score_service_build_info{version=\"",
         }) {
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
    }
    EXPECT_EQ(text.find("records gauge"), std::string::npos); // unknown: left out
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
    waitFor([&] { return (known = records.get()).has_value(); }, 60s);
    EXPECT_EQ(known.value_or(BoardCounts{}).records, 42);
}

} // namespace
} // namespace service
