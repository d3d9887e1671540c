// One table of storage cases, run against a real SQLite file and a real
// PostgreSQL server (the CTest fixture writes its URL to TEST_POSTGRES_URL_FILE).
#include "service/CachedScoreStore.h"
#include "service/ServiceTestSupport.h"
#include "service/SqlScoreStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <future>
#include <numeric>

namespace service {
namespace {

using submission::Payload;

// A database of its own for this process, so parallel runs cannot meet.
std::string freshPostgresDatabase() {
    const char* urlFile = std::getenv("TEST_POSTGRES_URL_FILE");
    std::ifstream in(urlFile ? urlFile : "");
    std::string url;
    if (!std::getline(in, url)) {
        return {};
    }
    const std::string name = "store_test_" + std::to_string(getpid());
    const auto admin = openPostgres(url);
    admin->run("DROP DATABASE IF EXISTS " + name, {});
    admin->run("CREATE DATABASE " + name, {});
    return url.substr(0, url.rfind('/') + 1) + name;
}

class StoreCases : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        database_ =
            GetParam() == std::string("sqlite") ? file_.path().string() : freshPostgresDatabase();
        ASSERT_FALSE(database_.empty()) << "no PostgreSQL fixture (TEST_POSTGRES_URL_FILE)";
    }
    std::unique_ptr<ScoreStore> open() {
        return openStore(database_, [](const std::string& e) { ADD_FAILURE() << e; });
    }
    bool sqlite() const { return GetParam() == std::string("sqlite"); }
    std::unique_ptr<SqlConnection> raw() const {
        return sqlite() ? openSqlite(database_) : openPostgres(database_);
    }
    void backToVersion1() const {
        const auto connection = raw();
        for (const char* statement :
             sqlite() ? std::vector<const char*>{"DROP TRIGGER scores_counted_insert",
                                                 "DROP TRIGGER scores_counted_delete",
                                                 "DROP TRIGGER scores_counted_update"}
                      : std::vector<const char*>{"DROP TRIGGER scores_counted ON scores",
                                                 "DROP FUNCTION scores_counted()",
                                                 "DROP FUNCTION count_score"}) {
            connection->run(statement, {});
        }
        for (const char* table : {"chip_counts", "chip_totals", "time_buckets"}) {
            connection->run(std::string("DROP TABLE ") + table, {});
        }
        connection->run("DELETE FROM schema_version", {});
        connection->run("INSERT INTO schema_version VALUES (1)", {});
    }

    TempPath file_{"scores.sqlite3"};
    std::string database_;
};

struct Addition {
    Payload payload;
    std::int64_t rank;
    std::int64_t total;
};

TEST_P(StoreCases, RecordsRoundTripRankAndSummarise) {
    // An awkward name and a time that needs all 17 digits must come back unchanged.
    const Payload odd{"O'Brien \"<b>\" Çalışma 🚀",    "M9", 65536, 12.345678901234567,
                      12.345678901234567 * 1.5 / 3.5, 84,   0};
    const std::vector<Addition> additions = {
        {clientRecord("M9", 30.0 / 3.5), 1, 1}, {clientRecord("M9", 20.0 / 3.5), 1, 2},
        {clientRecord("M9", 25.0 / 3.5), 2, 3}, {clientRecord("M1", 10.0 / 3.5), 1, 1},
        {clientRecord("M1", 14.0 / 3.5), 2, 2}, {odd, 1, 4},
    };
    std::int64_t lastId = 0;
    {
        const auto store = open();
        for (const auto& a : additions) {
            const auto placed = store->add(a.payload, "2026-01-31T12:00:00.250Z");
            ASSERT_TRUE(placed.has_value());
            EXPECT_GT(placed->id, lastId);
            EXPECT_EQ(std::make_pair(placed->rank, placed->total), std::make_pair(a.rank, a.total))
                << a.payload.xcode_build_sec;
            lastId = placed->id;
        }
    }
    backToVersion1();          // which kept no counts
    const auto store = open(); // opening again migrates and keeps the records
    const auto best = store->best(std::string("M9"), 2);
    ASSERT_TRUE(best.has_value());
    ASSERT_EQ(best->size(), 2U);
    EXPECT_EQ((*best)[0].payload, odd);
    EXPECT_EQ((*best)[0].receivedAt, "2026-01-31T12:00:00.250Z");
    EXPECT_DOUBLE_EQ((*best)[1].payload.xcode_build_sec, 20.0);
    EXPECT_EQ(store->best(std::nullopt, 100)->size(), additions.size());
    EXPECT_TRUE(store->best(std::string("M0"), 5)->empty());

    const auto chips = store->chips();
    ASSERT_TRUE(chips.has_value());
    ASSERT_EQ(chips->size(), 2U);
    EXPECT_EQ((*chips)[0].chip, "M9"); // most results first
    EXPECT_EQ((*chips)[0].count, 4);
    EXPECT_DOUBLE_EQ((*chips)[0].median, 22.5); // even count: the mean of the middle two
    EXPECT_DOUBLE_EQ((*chips)[1].median, 12.0);
    EXPECT_DOUBLE_EQ((*chips)[1].best, 10.0);

    const auto spread = store->distribution("M1", 2);
    ASSERT_TRUE(spread.has_value());
    EXPECT_DOUBLE_EQ(spread->low, 10.0);
    EXPECT_DOUBLE_EQ(spread->binWidth, 2.0);
    EXPECT_EQ(spread->counts, (std::vector<std::int64_t>{1, 1})); // the maximum is in the last bin
    EXPECT_TRUE(store->distribution("M0", 2)->counts.empty());
    EXPECT_TRUE(store->reachable());
    const auto placed = store->add(clientRecord("M9", 21.0 / 3.5), "2026-01-31T12:00:01.000Z");
    EXPECT_EQ(std::make_pair(placed->rank, placed->total), std::make_pair(3L, 5L));
}

// Times on and beside the edges of seconds and milliseconds, ties, and two
// processors; some written by a binary that keeps no counts (raw SQL, as
// version 1 did), then changed and deleted behind the store's back, as an
// operator would. Every placement must match a count of the rows present.
TEST_P(StoreCases, RanksStayExactAcrossBucketEdgesUpgradesAndDeletes) {
    std::vector<std::pair<std::string, double>> present;
    const auto check = [&](ScoreStore& store, const std::string& chip, double time) {
        const auto placed = store.add(Payload{"d", chip, 16, time, time * 1.5 / 3.5, 84, 0},
                                      "2026-01-31T12:00:00.000Z");
        present.emplace_back(chip, time);
        ASSERT_TRUE(placed.has_value());
        const auto same = [&](const auto& r) { return r.first == chip; };
        const auto faster = [&](const auto& r) { return r.first == chip && r.second < time; };
        EXPECT_EQ(placed->total, std::count_if(present.begin(), present.end(), same)) << time;
        EXPECT_EQ(placed->rank, 1 + std::count_if(present.begin(), present.end(), faster)) << time;
    };
    const std::vector<double> times = {20.0,  19.999, 20.0005, 20.001, 19.9995,  20.0,   21.0,
                                       0.999, 1.0,    20.0004, 19.0,   3599.999, 20.0009};
    {
        const auto store = open();
        for (std::size_t i = 0; i < 7; ++i) {
            check(*store, i % 3 == 2 ? "M1" : "M9", times[i]);
        }
    }
    backToVersion1();
    for (const double time : {19.9999, 20.0003, 0.5}) {
        raw()->run("INSERT INTO scores (received_at, device_name, chip_type, ram_gb, "
                   "xcode_build_sec, resin_slicer_sec, max_temp_c, swap_used_mb) VALUES "
                   "('2026-01-31T12:00:00.000Z', 'old', 'M9', 16, ?, 1, 84, 0)",
                   {time});
        present.emplace_back("M9", time);
    }
    const auto store = open();
    for (std::size_t i = 7; i < 11; ++i) {
        check(*store, "M9", times[i]);
    }
    raw()->run("DELETE FROM scores WHERE xcode_build_sec = 19.999", {});
    raw()->run("UPDATE scores SET xcode_build_sec = 25.0 WHERE xcode_build_sec = 20.0005", {});
    std::erase(present, std::make_pair(std::string("M9"), 19.999));
    std::replace(present.begin(), present.end(), std::make_pair(std::string("M9"), 20.0005),
                 std::make_pair(std::string("M9"), 25.0));
    check(*store, "M9", times[11]);
    check(*store, "M9", times[12]);
}

// Another instance's migration may take longer than the request path's bound
// on a statement (PostgreSQL 10 s) or on a busy file (SQLite 5 s).
TEST_P(StoreCases, StartUpWaitsForAnotherInstancesMigration) {
    const auto holder = raw();
    holder->run(sqlite() ? "BEGIN IMMEDIATE" : "BEGIN", {});
    if (!sqlite()) {
        holder->run("SELECT pg_advisory_xact_lock(4711)", {});
    }
    auto opening = std::async(std::launch::async, [this] { return open() != nullptr; });
    EXPECT_EQ(opening.wait_for(std::chrono::seconds(sqlite() ? 6 : 11)),
              std::future_status::timeout);
    holder->run("COMMIT", {});
    EXPECT_TRUE(opening.get());
}

INSTANTIATE_TEST_SUITE_P(Engines, StoreCases, ::testing::Values("sqlite", "postgres"));

TEST(SqliteStore, RefusesASchemaNewerThanItKnows) {
    TempPath file("scores.sqlite3");
    openSqlite(file.path())->run("CREATE TABLE schema_version (version INTEGER NOT NULL)", {});
    openSqlite(file.path())->run("INSERT INTO schema_version VALUES (4)", {});
    EXPECT_THROW(openStore(file.path(), [](const std::string&) {}), std::runtime_error);
}

TEST(CachedScoreStore, AggregatesLagByAtMostTheirAgeWhileListsAreCurrent) {
    using namespace std::chrono_literals;
    TempPath file("scores.sqlite3");
    const auto inner = openStore(file.path(), [](const std::string& e) { ADD_FAILURE() << e; });
    std::chrono::steady_clock::time_point now{};
    CachedScoreStore store(*inner, 5s, [&] { return now; });
    const auto counted = [&] {
        const auto counts = store.distribution("M9", 4)->counts;
        return std::make_pair(store.chips()->at(0).count,
                              std::accumulate(counts.begin(), counts.end(), std::int64_t{0}));
    };
    ASSERT_TRUE(store.add(clientRecord("M9", 10.0), "2026-01-31T12:00:00.000Z"));
    EXPECT_EQ(counted(), std::make_pair(std::int64_t{1}, std::int64_t{1}));
    ASSERT_TRUE(store.add(clientRecord("M9", 12.0), "2026-01-31T12:00:01.000Z"));
    EXPECT_EQ(store.best(std::string("M9"), 10)->size(), 2U); // lists at once
    now += 4s;
    EXPECT_EQ(counted(), std::make_pair(std::int64_t{1}, std::int64_t{1}));
    now += 1s;
    EXPECT_EQ(counted(), std::make_pair(std::int64_t{2}, std::int64_t{2}));
}

// Reads its count from the inner store; the second read asks the cache again
// meanwhile, as a concurrent view would.
struct NestedReads final : ScoreStore {
    std::optional<Placement> add(const Payload&, const std::string&) override { return {}; }
    std::optional<std::vector<StoredScore>> best(const std::optional<std::string>&, int) override {
        return {};
    }
    std::optional<std::vector<ChipSummary>> chips() override {
        if (++reads == 2) {
            nested = cache->chips();
        }
        return std::vector<ChipSummary>{{"M9", 1.0, 1.0, reads}};
    }
    std::optional<Distribution> distribution(const std::string&, int) override { return {}; }
    bool reachable() override { return true; }
    ScoreStore* cache = nullptr;
    std::int64_t reads = 0;
    std::optional<std::vector<ChipSummary>> nested;
};

TEST(CachedScoreStore, OneCallerRefreshesWhileOthersGetThePreviousValue) {
    using namespace std::chrono_literals;
    NestedReads inner;
    std::chrono::steady_clock::time_point now{};
    CachedScoreStore store(inner, 5s, [&] { return now; });
    inner.cache = &store;
    EXPECT_EQ(store.chips()->at(0).count, 1);
    now += 5s;
    EXPECT_EQ(store.chips()->at(0).count, 2);
    EXPECT_EQ(inner.nested->at(0).count, 1); // served, not read again
    EXPECT_EQ(inner.reads, 2);
}

} // namespace
} // namespace service
