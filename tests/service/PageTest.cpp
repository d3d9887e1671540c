// The result page, the charts, the accepted reply and the metrics, as pure
// functions and through the handler on a real SQLite file.
#include "service/Handler.h"
#include "service/Metrics.h"
#include "service/ServiceTestSupport.h"
#include "service/pages/Chart.h"
#include "service/pages/ResultPage.h"
#include "service/store/SqlScoreStore.h"

#include <gtest/gtest.h>

#include <future>
#include <regex>

namespace service {
namespace {

TEST(AcceptedReply, GivesRankPercentileAndTheAddressWhileItFits) {
    struct Case {
        Placement placement;
        std::string says;
        bool withAddress;
    };
    const std::vector<Case> cases = {
        {{12, 3, 57}, "57 sonuç arasında 3. sırada (ilk %5). Sayfası: /r/12", true},
        {{1, 1, 1}, "1 sonuç arasında 1. sırada (ilk %100)", true},
        {{9, 1, 1000}, "1.000 sonuç arasında 1. sırada (ilk %1)", true}, // never "ilk %0"
        {{9, 999, 1000}, "(ilk %100)", true},
        {{9, 5, 1000}, "(ilk %1)", true}, // 0.5 rounds up
        {{999999999999999999, 99999999, 99999999}, "99.999.999. sırada (ilk %100).", false},
    };
    for (const auto& c : cases) {
        const auto text = acceptedMessage(c.placement);
        EXPECT_NE(text.find(c.says), std::string::npos) << text;
        EXPECT_EQ(text.find("/r/") != std::string::npos, c.withAddress) << text;
        EXPECT_LE(codePoints(text), kMaxShownChars) << text;
    }
}

TEST(ResultAddress, OnlyAPlainPositiveIdNamesAResult) {
    const std::vector<std::pair<std::string, std::optional<std::int64_t>>> cases = {
        {"/r/1", 1},
        {"/r/123456789", 123456789},
        {"/r/", std::nullopt},
        {"/r/0", std::nullopt},
        {"/r/012", std::nullopt},
        {"/r/-1", std::nullopt},
        {"/r/1x", std::nullopt},
        {"/r/1/", std::nullopt},
        {"/r/99999999999999999999", std::nullopt},
        {"/x/1", std::nullopt},
    };
    for (const auto& [path, id] : cases) {
        EXPECT_EQ(resultId(path), id) << path;
    }
}

TEST(Chart, EveryHeldBinIsVisibleAndTheOutliersHaveTheirOwnBar) {
    EXPECT_EQ(barHeight(0, 100000, 180), 0);
    EXPECT_GE(barHeight(1, 100000, 180), 2); // would round to 0 px
    EXPECT_DOUBLE_EQ(barHeight(50, 100, 180), 90);
    EXPECT_DOUBLE_EQ(tickStep(7, 4), 2);
    EXPECT_DOUBLE_EQ(tickStep(100000, 4), 50000);
    // Any time a table can hold gives an axis of a few ticks, and no bin is
    // drawn without a width.
    for (const double time : {5e-324, 1e-12, 0.0, 3600.0, 1.7e308}) {
        const auto chart = chipsFigure({{"M9", time, time, 1}}, 12, "c") +
                           distributionFigure({time, 0.0, {0, 3}, 0, 0}, "M9", time, time, "f");
        EXPECT_LT(chart.size(), 20000U) << time; // the largest double has 309 digits
        EXPECT_EQ(chart.find("nan"), std::string::npos) << chart;
    }
    const Distribution spread{10.0, 0.5, {100000, 0, 1}, 0, 1};
    const auto svg = distributionFigure(spread, "<M9>", 10.2, 11.9, "d");
    EXPECT_NE(svg.find("viewBox='0 0 480 260'"), std::string::npos);
    EXPECT_NE(svg.find("<desc id='d-d'>100.002 sonuç. Ortanca: 10.20. Bu sonuç: 11.90. "
                       "10.00–10.50: 100.000. 10.50–11.00: 0. 11.00–11.50: 1. 11.50 üstü: 1."),
              std::string::npos)
        << svg;
    EXPECT_NE(svg.find("&lt;M9&gt;"), std::string::npos);
    EXPECT_EQ(svg.find("<M9>"), std::string::npos);
    const std::regex bar("<rect [^>]*height='([0-9.]+)'[^>]*><title>([^<]*)</title>");
    std::vector<std::string> bars;
    for (std::sregex_iterator it(svg.begin(), svg.end(), bar), end; it != end; ++it) {
        bars.push_back((*it)[2].str() + " " + (std::stod((*it)[1]) > 0 ? "shown" : "empty"));
    }
    EXPECT_EQ(bars, (std::vector<std::string>{
                        "10.00–10.50: 100000 sonuç shown", "10.50–11.00: 0 sonuç empty",
                        "11.00–11.50: 1 sonuç shown", "11.50 üstü: 1 sonuç shown"}));
}

TEST(Metrics, CountsRequestsSubmissionsAndLatencyInTheExpositionFormat) {
    Metrics metrics;
    metrics.request("/api/submit", 200, std::chrono::microseconds(3000));
    metrics.request("/r/12", 404, std::chrono::microseconds(20));
    metrics.request("/no/such/path", 404, std::chrono::seconds(20));
    metrics.submission(SubmissionOutcome::accepted);
    metrics.submission(SubmissionOutcome::rateLimited);
    metrics.databaseError();
    const auto text = metrics.render({3, std::nullopt});
    for (const char* line : {
             "score_service_requests_total{route=\"/api/submit\",status=\"200\"} 1\n",
             "score_service_requests_total{route=\"/r/\",status=\"404\"} 1\n",
             "score_service_requests_total{route=\"other\",status=\"404\"} 1\n",
             "score_service_request_duration_seconds_bucket{route=\"/api/submit\",le=\"0.0025\"} "
             "0\n",
             "score_service_request_duration_seconds_bucket{route=\"/api/submit\",le=\"0.005\"} "
             "1\n",
             "score_service_request_duration_seconds_bucket{route=\"/api/submit\",le=\"+Inf\"} 1\n",
             "score_service_request_duration_seconds_bucket{route=\"other\",le=\"10\"} 0\n",
             "score_service_request_duration_seconds_bucket{route=\"other\",le=\"+Inf\"} 1\n",
             "score_service_submissions_total{outcome=\"accepted\"} 1\n",
             "score_service_submissions_total{outcome=\"refused\",reason=\"rate_limited\"} 1\n",
             "score_service_submissions_total{outcome=\"held\"} 0\n",
             "score_service_database_errors_total 1\n",
             "score_service_open_connections 3\n",
         }) {
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
    }
    EXPECT_EQ(text.find("score_service_records"), std::string::npos); // unknown is left out
}

TEST(Metrics, TheRecordsFigureNeverHoldsAScrapeOnAStalledDatabase) {
    std::promise<void> release;
    const auto released = release.get_future().share();
    LastKnownCount records(
        [released]() -> std::optional<std::int64_t> {
            released.wait();
            return 42;
        },
        std::chrono::milliseconds(50));
    auto first = std::async(std::launch::async, [&] { return records.get(); });
    const auto waited = first.wait_for(std::chrono::seconds(5));
    release.set_value();
    ASSERT_EQ(waited, std::future_status::ready) << "a scrape waited on a stalled database";
    EXPECT_EQ(first.get(), std::nullopt);
    std::optional<std::int64_t> known;
    for (int i = 0; i < 100 && !known; ++i) {
        known = records.get();
    }
    EXPECT_EQ(known, 42);
}

TEST(ResultPages, AreFoundByTheAddressInTheReplyAndPagedWithTotals) {
    TempPath file("scores.sqlite3");
    const auto store = openStore(file.path(), [](const std::string&) {});
    RateLimiter limiter{RateLimit{0.0, 1.0}};
    Metrics metrics;
    ServiceContext context{*store, limiter, [] { return std::chrono::system_clock::now(); },
                           [] { return std::chrono::steady_clock::now(); }, &metrics};
    for (int i = 0; i < 120; ++i) {
        ASSERT_TRUE(store->add(clientRecord("M9", 10.0 + i * 0.01), "2026-01-31T12:00:00.000Z"));
    }
    const auto body = *submission::encodePayload(clientRecord("M9", 10.005));
    const auto reply =
        handle(Request{"POST", "/api/submit", {}, "application/json", body, "a", ""}, context);
    std::smatch found;
    ASSERT_TRUE(std::regex_search(reply.body, found, std::regex("Sayfası: (/r/[0-9]+)")));
    const std::string address = found[1];
    // Equal times share a rank, also where a page begins among them.
    for (int i = 0; i < 53; ++i) {
        const auto record = clientRecord("T2",
                                         i == 0    ? 19.0
                                         : i == 52 ? 21.0
                                                   : 20.0,
                                         i == 0    ? "Lead"
                                         : i == 52 ? "Slow"
                                                   : "Tie");
        ASSERT_TRUE(store->add(record, "2026-01-31T12:00:00.000Z"));
    }
    const std::vector<std::tuple<Request, int, std::string>> cases = {
        {get(address), 200, "121 sonuç arasında 2. sırada (ilk %2)"},
        {get(address), 200, "<title>Sonuç 121: M9 – Skor Tablosu</title>"},
        {get("/r/9999"), 404, "Sonuç bulunamadı"},
        {get("/", {{"chip", "M9"}, {"page", "3"}}), 200, "101–121 / 121 sonuç"},
        {get("/", {{"page", "2"}}), 200, "← Önceki sayfa"},
        {get("/", {{"page", "0"}}), 404, "</main>"},
        {get("/", {{"chip", "T2"}, {"page", "2"}}), 200,
         "</th></tr><tr><td class='n'>2</td><td>Tie"},
        {get("/", {{"chip", "T2"}, {"page", "2"}}), 200,
         "</td></tr><tr><td class='n'>2</td><td>Tie"},
        {get("/", {{"chip", "T2"}, {"page", "2"}}), 200, "<td class='n'>53</td><td>Slow"},
        {get("/", {{"page", "4"}}), 200, "</th></tr><tr><td class='n'>123</td><td>Tie"},
        {get("/api/scores", {{"offset", "120"}}), 200, "\"total\":174,\"offset\":120"},
        {get("/api/scores", {{"offset", "100001"}}), 400, "offset"},
    };
    for (const auto& [request, status, says] : cases) {
        const auto response = handle(request, context);
        EXPECT_EQ(response.status, status) << request.path;
        EXPECT_NE(response.body.find(says), std::string::npos) << says << "\n" << response.body;
    }
    EXPECT_NE(metrics.render({}).find("{outcome=\"accepted\"} 1"), std::string::npos);
}

} // namespace
} // namespace service
