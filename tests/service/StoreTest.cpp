#include "service/EngineCases.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <numeric>
#include <utility>

namespace service {
namespace {

using submission::Payload;

class StoreCases : public EngineCases {
protected:
    void place(ScoreStore& store, const Payload& p) {
        const auto placed = store.add(p, "2026-01-31T12:00:00.250Z");
        present_.emplace_back(p.chip_type, p.xcode_build_sec);
        const auto count = [&](bool faster) {
            return std::count_if(present_.begin(), present_.end(), [&](const auto& r) {
                return r.first == p.chip_type && (!faster || r.second < p.xcode_build_sec);
            });
        };
        ASSERT_TRUE(placed.has_value());
        EXPECT_GT(placed->id, ids_.empty() ? 0 : ids_.back());
        ids_.push_back(placed->id);
        EXPECT_EQ(std::make_pair(placed->rank, placed->total),
                  std::make_pair(1 + count(true), count(false)))
            << p.xcode_build_sec;
    }
    // An awkward name and a time that needs all 17 digits must come back unchanged.
    const Payload odd_{"O'Brien \"<b>\" Çalışma 🚀",    "M9", 65536, 12.345678901234567,
                       12.345678901234567 * 1.5 / 3.5, 84,   0};
    const std::vector<Payload> additions_ = {scored("M9", 30.0), scored("M9", 20.0),
                                             scored("M9", 25.0), scored("M1", 10.0),
                                             scored("M1", 14.0), odd_};
    std::vector<std::pair<std::string, double>> present_;
    std::vector<std::int64_t> ids_;
};

// Records come back unchanged, counted and summarised, and are placed after an operator's
// deletion.
TEST_P(StoreCases, RecordsRoundTripPageRankAndSummarise) {
    // Each through a store opened anew, which keeps the records and their counts: then times
    // on and beside the edges of seconds and milliseconds, and ties (none held for review).
    for (const auto& payload : additions_) {
        place(*open(), payload);
    }
    for (const double time : {20.0, 19.999, 20.0005, 20.001, 19.9995, 20.0, 11.999, 12.0}) {
        place(*open(), scored("M5", time));
    }
    testing::internal::CaptureStderr();
    const auto store = open();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "a notice of the server's on stderr";
    const auto best = store->listing(std::string("M9"), 2, 0)->rows;
    ASSERT_EQ(best.size(), 2UL);
    EXPECT_EQ(std::tie(best[0].payload, best[0].receivedAt),
              std::make_tuple(odd_, "2026-01-31T12:00:00.250Z"));
    EXPECT_EQ(std::make_tuple(*store->records(std::string("M9")), *store->records(std::nullopt),
                              *store->records(std::string("M0")),
                              store->listing(std::nullopt, 100, 0)->rows.size()),
              std::make_tuple(4L, 14L, 0L, present_.size()));
    const auto chips = store->leaderboard(std::nullopt, 0, 0, 0)->chips;
    ASSERT_EQ(chips.size(), 3U); // an even count's median: the mean of the middle two
    EXPECT_EQ(std::make_tuple(chips[1].chip, chips[1].count, chips[1].median, chips[2].median,
                              chips[2].best),
              std::make_tuple("M9", 4L, 22.5, 12.0, 10.0));
    EXPECT_TRUE(store->leaderboard(std::string("M0"), 0, 0, 2)->distribution->counts.empty());
    // Two processors compared are binned alike, over both their ranges.
    const auto both = store->comparison("M1", "M9", 4).value();
    ASSERT_TRUE(both.a && both.b);
    for (const auto* d : {&both.a->distribution, &both.b->distribution}) {
        EXPECT_EQ(std::make_pair(d->low, d->binWidth), std::make_pair(10.0, 5.0));
    }
    EXPECT_EQ(std::make_pair(both.a->distribution.counts, both.b->distribution.counts),
              std::make_pair(std::vector<std::int64_t>{2, 0, 0, 0},
                             std::vector<std::int64_t>{1, 0, 1, 2}));
    const auto tally = store->boardTally().value();
    place(*store, scored("M9", 21.0));
    raw()->run("DELETE FROM scores WHERE xcode_build_sec = 19.999", {}); // as an operator would
    EXPECT_EQ(store->boardTally(), (BoardTally{tally.changes + 2, 0})) << "both changes counted";
    std::erase(present_, std::make_pair(std::string("M5"), 19.999));
    for (const double time : {20.0004, 19.0, 3599.999, 20.0009, 11.9995}) {
        place(*store, scored("M5", time));
    }
    // The API's processor is any named alike but for letter case, as search finds it.
    place(*store, scored("m9", 9.0));
    const auto folded = store->listing(std::string("M9"), 2, 0).value();
    EXPECT_EQ(std::make_tuple(folded.total, folded.rows.at(0).payload.chip_type,
                              folded.rows.at(1).payload.chip_type),
              std::make_tuple(6L, "m9", "M9"));
}

// Outlasts the request path's bounds: a statement (PostgreSQL 10 s), a busy file (SQLite 5 s).
TEST_P(StoreCases, StartUpWaitsForAnotherInstancesMigration) {
    const auto holder = raw();
    holder->run(sqlite() ? "BEGIN IMMEDIATE" : "BEGIN", {});
    holder->run(sqlite() ? "SELECT 1" : "SELECT pg_advisory_xact_lock(4711)", {});
    auto opening = std::async(std::launch::async, [this] { return open() != nullptr; });
    EXPECT_EQ(opening.wait_for(std::chrono::seconds(sqlite() ? 6 : 11)),
              std::future_status::timeout);
    holder->run("COMMIT", {});
    EXPECT_TRUE(opening.get());
}

// Aggregates from the kept counts equal those counted by hand, for times that share seconds
// and milliseconds; one far outlier is counted beside the bins instead of stretching them; equal
// times, whole seconds or far below a millisecond, still get bins with a width.
TEST_P(StoreCases, PageAggregatesAreExact) {
    const auto store = open();
    std::vector<double> sorted;
    for (int i = 0; i < 42; ++i) {
        const double time = 10.0 + (i % 3) + (i * 37 % 23) * 0.0004;
        ASSERT_TRUE(store->add(scored("M9", time), kAt));
        sorted.insert(std::upper_bound(sorted.begin(), sorted.end(), time), time);
        const auto n = sorted.size();
        const auto page = store->leaderboard(std::string("M9"), 3, 0, 7);
        EXPECT_DOUBLE_EQ(page->chips.at(0).median, (sorted[(n - 1) / 2] + sorted[n / 2]) / 2) << n;
        EXPECT_EQ(page->total, static_cast<std::int64_t>(n));
        const auto& spread = *page->distribution;
        for (std::size_t bin = 0; bin < 7; ++bin) {
            const auto from = spread.low + static_cast<double>(bin) * spread.binWidth;
            const auto to = from + spread.binWidth;
            const auto inBin = [&](double t) { return t >= from && (bin == 6 || t < to); };
            EXPECT_EQ(spread.counts[bin], std::count_if(sorted.begin(), sorted.end(), inBin)) << n;
        }
    }
    for (const double t : {10.0, 10.1, 10.2, 10.3, 10.4, 10.5, 10.6, 10.7, 100.0, 120.0, 120.0}) {
        ASSERT_TRUE(store->add(scored(t < 110 ? "M5" : "M4", t), kAt));
    }
    const auto outlier = store->leaderboard(std::string("M5"), 0, 0, 4)->distribution.value();
    EXPECT_EQ(std::make_tuple(outlier.low, outlier.counts, outlier.below, outlier.above),
              std::make_tuple(10.0, std::vector<std::int64_t>{2, 2, 2, 2}, 0L, 1L));
    EXPECT_NEAR(outlier.binWidth, 0.175, 1e-9);
    // Bins a second or more wide have whole-second edges, here 97 and 105, past the fences
    // (97.485, 103.515): the times between an edge and its fence are in the bins.
    for (const double t : {97.3, 97.6, 100.5, 100.5, 100.5, 100.5, 100.5, 103.4, 104.0}) {
        ASSERT_TRUE(store->add(scored("M6", t), kAt));
    }
    const auto whole = store->leaderboard(std::string("M6"), 0, 0, 4)->distribution.value();
    EXPECT_EQ(std::make_tuple(whole.low, whole.counts, whole.below, whole.above),
              std::make_tuple(97.0, std::vector<std::int64_t>{2, 5, 0, 2}, 0L, 0L));
    // Two as an older service stored them, before times had a floor.
    raw()->run(
        "INSERT INTO scores (received_at, device_name, chip_type, ram_gb, xcode_build_sec, "
        "resin_slicer_sec, max_temp_c, swap_used_mb) SELECT received_at, device_name, "
        "'M3', ram_gb, 1e-300, 1, max_temp_c, swap_used_mb FROM scores WHERE chip_type = 'M4'",
        {});
    for (const char* chip : {"M3", "M4"}) {
        const auto equal = store->leaderboard(std::string(chip), 0, 0, 4)->distribution.value();
        EXPECT_GT(equal.binWidth, 0.0) << chip;
        EXPECT_EQ(std::accumulate(equal.counts.begin(), equal.counts.end(), 0L), 2) << chip;
    }
    // Each memory size keeps its count and best through an operator's delete and edit.
    for (const auto& [ram, t] :
         {std::pair{8, 30.0}, {16, 31.0}, {16, 32.0}, {32, 29.0}, {32, 33.0}}) {
        ASSERT_TRUE(store->add(Payload{"d", "M7", ram, t, t / 3.5, 84, 0}, kAt));
    }
    raw()->run("DELETE FROM scores WHERE chip_type = 'M7' AND xcode_build_sec = 31", {});
    raw()->run("UPDATE scores SET ram_gb = 8 WHERE chip_type = 'M7' AND xcode_build_sec = 29", {});
    std::vector<std::tuple<std::int64_t, std::int64_t, double>> sizes;
    const auto m7 = store->processor("M7", 0, 0, 0).value().value();
    for (const auto& size : m7.byMemory) {
        sizes.emplace_back(size.ramGb, size.count, size.best);
    }
    EXPECT_EQ(sizes, (decltype(sizes){{8, 2, 29.0}, {16, 1, 32.0}, {32, 1, 33.0}}));
    // Figures kept from before a delete and an add, which leave the count as it was, are not shown.
    EXPECT_DOUBLE_EQ(m7.row.spread.p90, 32.7);
    raw()->run("DELETE FROM scores WHERE chip_type = 'M7' AND xcode_build_sec = 33", {});
    ASSERT_TRUE(store->add(Payload{"d", "M7", 8, 40.0, 40.0 / 3.5, 84, 0}, kAt));
    EXPECT_DOUBLE_EQ(store->processor("M7", 0, 0, 0).value()->row.spread.p90, 37.6);
}

// A page read while another instance adds processors never lists a result whose processor its
// table lacks; a result's page and a listing, each while its processor grows, add up: the
// distribution to the rank's total, the rows to the listing's.
TEST_P(StoreCases, PageAggregatesAreFromOneSnapshot) {
    const auto store = open();
    const auto fastest = store->add(scored("M5", 10.0), kAt).value().id;
    const auto whileAdding = [&](const std::function<Payload(int)>& record, auto check) {
        auto adding = std::async(std::launch::async, [&] {
            const auto other = open();
            for (int i = 0; i < 150; ++i) {
                other->add(record(i), kAt);
            }
        });
        while (adding.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            check();
        }
    };
    whileAdding([](int i) { return scored("N" + std::to_string(i), 5.0 - i * 0.01); },
                [&] { // each added one the new best, and the processor listed first
                    const auto page = store->leaderboard(std::nullopt, 1, 0, 4);
                    const auto list = store->processors({"", ProcessorOrder::median, 0, 1});
                    const auto newest = [](std::int64_t total) {
                        return total == 1 ? std::string("M5") : "N" + std::to_string(total - 2);
                    };
                    EXPECT_EQ(list->rows.at(0).chip, newest(list->total));
                    EXPECT_EQ(page->best.at(0).payload.chip_type, newest(page->total));
                });
    whileAdding([](int i) { return scored("M5", 10.0 + i * 0.001); },
                [&] {
                    const auto found = store->result(fastest, 4).value();
                    ASSERT_TRUE(found);
                    const auto& spread = found->distribution;
                    EXPECT_EQ(std::accumulate(spread.counts.begin(), spread.counts.end(),
                                              spread.below + spread.above),
                              found->standing.total);
                    const auto listed = store->listing(std::string("M5"), 1000, 0).value();
                    EXPECT_EQ(static_cast<std::int64_t>(listed.rows.size()), listed.total);
                });
}

// An operator's change made while a submission reads its processor's quartiles (here between
// their statements) waits for the submission's commit instead of changing what it reads.
TEST_P(StoreCases, ASubmissionReadsItsQuartilesInOneSnapshot) {
    const auto seeded = open();
    for (int i = 0; i < 30; ++i) {
        ASSERT_TRUE(seeded->add(clientRecord("Q4", 10.0 + i * 0.01), kAt));
    }
    std::future<void> deleting;
    const auto store = hooked([&](std::string_view sql, const auto&) {
        if (sql.find("width_ms = 1000 AND records > 0") != std::string_view::npos &&
            !deleting.valid()) {
            deleting = std::async(std::launch::async,
                                  [&] { raw()->run("DELETE FROM scores WHERE id > 3", {}); });
            // Time enough for the delete to commit, were it not held off.
            deleting.wait_for(std::chrono::milliseconds(300));
        }
    });
    const auto placed = store->add(clientRecord("Q4", 10.1), kAt);
    ASSERT_TRUE(placed);
    EXPECT_EQ(std::make_pair(placed->rank, placed->total), std::make_pair(11L, 31L));
    deleting.get();
}

// A connection keeps a bounded set of prepared statements; statements sent together still run
// when preparing them drops the others kept.
TEST_P(StoreCases, KeptStatementsAreBoundedAndSurviveBeingDropped) {
    const auto connection = raw();
    const auto select = [](int n) { return "SELECT " + std::to_string(n) + " + ?"; };
    for (int n = 0; n < 126; ++n) { // PostgreSQL's connection keeps one statement of its own
        EXPECT_EQ(connection->run(select(n), {std::int64_t{1}}).at(0).at(0), SqlValue{n + 1L});
    }
    const auto answers = connection->runAll({{select(127), {std::int64_t{1}}},
                                             {select(128), {std::int64_t{1}}},
                                             {select(0), {std::int64_t{1}}}});
    EXPECT_EQ(answers, (std::vector<std::vector<SqlRow>>{{{128L}}, {{129L}}, {{1L}}}));
}

INSTANTIATE_TEST_SUITE_P(Engines, StoreCases, ::testing::Values("sqlite", "postgres"));

} // namespace
} // namespace service
