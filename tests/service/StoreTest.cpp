// One table of storage cases, run against a real SQLite file and a real
// PostgreSQL server (the CTest fixture writes its URL to TEST_POSTGRES_URL_FILE).
#include "service/CachedScoreStore.h"
#include "service/ServiceTestSupport.h"
#include "service/SqlScoreStore.h"

#include <gtest/gtest.h>

#include <numeric>

namespace service {
namespace {

using submission::Payload;

class StoreCases : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        database_ = GetParam() == std::string("sqlite") ? file_.path().string()
                                                        : freshPostgresDatabase("store_test");
        ASSERT_FALSE(database_.empty()) << "no PostgreSQL fixture (TEST_POSTGRES_URL_FILE)";
    }
    std::unique_ptr<ScoreStore> open() {
        return openStore(database_, [](const std::string& e) { ADD_FAILURE() << e; });
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
    { // back to schema version 1, which kept no counts
        const auto raw =
            GetParam() == std::string("sqlite") ? openSqlite(database_) : openPostgres(database_);
        for (const char* undo :
             {"DROP TABLE chip_counts", "DROP TABLE withheld", "DROP TABLE review_figures",
              "ALTER TABLE scores DROP COLUMN client_product",
              "ALTER TABLE scores DROP COLUMN client_version",
              "ALTER TABLE scores DROP COLUMN review_reason",
              "ALTER TABLE scores DROP COLUMN review_figures",
              "UPDATE schema_version SET version = 1"}) {
            raw->run(undo, {});
        }
    }
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

INSTANTIATE_TEST_SUITE_P(Engines, StoreCases, ::testing::Values("sqlite", "postgres"));

TEST(SqliteStore, RefusesASchemaNewerThanItKnows) {
    TempPath file("scores.sqlite3");
    openSqlite(file.path())->run("CREATE TABLE schema_version (version INTEGER NOT NULL)", {});
    openSqlite(file.path())->run("INSERT INTO schema_version VALUES (99)", {});
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
    std::optional<Placement> add(const Payload&, const std::string&,
                                 const ClientVersion&) override {
        return {};
    }
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
