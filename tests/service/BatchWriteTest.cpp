// Submissions written together, on both engines, and the group commit that gathers them.
#include "service/EngineCases.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <stdexcept>

namespace service {
namespace {

using submission::Payload;
using Written = SqlScoreStore::Written;

class BatchCases : public EngineCases {
protected:
    // Writes `payloads` as one batch, each with a key of its own.
    std::vector<Written> write(SqlScoreStore& store, const std::vector<Payload>& payloads) {
        std::deque<SqlScoreStore::Submission> submissions;
        SqlScoreStore::Batch batch;
        for (const auto& p : payloads) {
            batch.push_back(
                &submissions.emplace_back(SqlScoreStore::Submission{p, kAt, client_, ++lastKey_}));
        }
        return store.addBatch(batch);
    }
    // Every record's key and id, on the board or off it; a key stored twice fails.
    std::map<std::int64_t, std::int64_t> idsByKey() const {
        std::map<std::int64_t, std::int64_t> ids;
        for (const auto& row : raw()->run("SELECT submission_key, id FROM scores UNION ALL "
                                          "SELECT submission_key, id FROM withheld",
                                          {})) {
            EXPECT_TRUE(ids.emplace(asInteger(row.at(0)), asInteger(row.at(1))).second)
                << "stored twice: key " << asInteger(row.at(0));
        }
        return ids;
    }
    // Whether each processor's kept count is its number of rows on the board.
    bool countsAgree() const {
        return number("SELECT COUNT(*) FROM chip_totals t WHERE records <> (SELECT COUNT(*) "
                      "FROM scores s WHERE s.chip_type = t.chip_type)") == 0;
    }
    void seed(SqlScoreStore& store, const std::string& chip, int records, double time) {
        for (int i = 0; i < records; ++i) {
            ASSERT_TRUE(write(store, {scored(chip, time)}).at(0).placement);
        }
    }

    const ClientVersion client_;
    std::int64_t lastKey_ = 0;
};

// Records written in one batch are judged and ranked in its order, on a young board (each
// judged in turn) and on one whose review needs no read (sent in one go); one the database
// refuses after its insert ran fails alone and leaves nothing behind, and a batch whose
// commit never runs answers nothing for any of its records.
TEST_P(BatchCases, ABatchPlacesEachRecordInOrderAndFailsOnlyWhatFailed) {
    bool failCommit = false;
    std::vector<std::string> errors;
    const auto store = hooked(
        [&](std::string_view sql, const auto&) {
            if (failCommit && sql == "COMMIT") {
                throw std::runtime_error("refused");
            }
        },
        [&](const std::string& e) { errors.push_back(e); },
        [&](std::string_view sql, const std::vector<SqlValue>& params) {
            if (sql.starts_with("INSERT INTO scores") &&
                std::find(params.begin(), params.end(), SqlValue{25.0}) != params.end()) {
                throw std::runtime_error("refused");
            }
        });
    // Rank, total, and the median a reply compares with (-1: the review's kept one).
    using P = std::optional<std::tuple<std::int64_t, std::int64_t, std::optional<double>>>;
    std::vector<double> board;
    const auto medianBefore = [&]() -> std::optional<double> {
        auto sorted = board;
        std::sort(sorted.begin(), sorted.end());
        const auto n = sorted.size();
        if (n < kFewResults || n >= kReviewMinRecords) {
            return n < kFewResults ? std::nullopt : std::optional(-1.0);
        }
        return n % 2 != 0 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    };
    const auto batch = [&](const std::vector<double>& times, bool stored = true) {
        std::vector<Payload> payloads;
        std::vector<P> placed, expected;
        for (const double time : times) {
            payloads.push_back(scored("B1", time));
            const auto faster =
                std::count_if(board.begin(), board.end(), [&](double t) { return t < time; });
            const bool refused = !stored || time == 25.0;
            expected.push_back(refused ? std::nullopt
                                       : P({1 + faster, board.size() + 1, medianBefore()}));
            if (!refused) {
                board.push_back(time);
            }
        }
        for (const auto& written : write(*store, payloads)) {
            const auto& p = written.placement;
            const bool kept = p && p->median && p->total > kReviewMinRecords;
            placed.push_back(p ? P({p->rank, p->total, kept ? -1.0 : p->median}) : std::nullopt);
        }
        EXPECT_EQ(placed, expected);
    };
    for (const int seeded : {0, 120}) { // young, then with every figure kept
        for (int i = 0; i < seeded; ++i) {
            batch({10.6 + i * 0.25});
        }
        batch({20.0, 10.0, 30.0, 15.0, 20.0});
        failCommit = true;
        batch({5.0, 6.0}, false);
        failCommit = false;
        batch({16.0, 25.0, 12.0});
    }
    EXPECT_EQ(*store->records(std::string("B1")), static_cast<std::int64_t>(board.size()));
    EXPECT_TRUE(countsAgree());
    // In each round: the commit that never ran, its second try and the ids it named; the
    // batch with the refused record, then that record alone.
    EXPECT_EQ(errors.size(), 10U);
}

// Whatever becomes of a commit, a record answered as stored is stored once, under the id it
// was told; one answered as not stored is not, unless the log names its id.
TEST_P(BatchCases, EveryRecordIsStoredOnceWhateverBecomesOfItsCommit) {
    struct Fault {
        const char* name;
        bool answerLost;    // the first COMMIT runs, and its answer is lost
        bool thenSilent;    // after that, no statement reaches the database
        int refusedCommits; // before they run
        bool answered, stored;
    };
    const std::vector<Fault> faults = {
        {"answer lost", true, false, 0, true, true},
        {"answer lost, then no database", true, true, 0, false, true},
        {"one commit refused", false, false, 1, true, true},
        {"every commit refused", false, false, 1000, false, false},
    };
    for (const int seeded : {0, 21}) { // judged in turn, then sent in one go
        for (const auto& fault : faults) {
            SCOPED_TRACE(std::string(fault.name) + ", seeded " + std::to_string(seeded));
            const std::string chip = fault.name + std::to_string(seeded);
            int lost = 0, refused = 0;
            bool silent = false;
            std::string named;
            const auto store = hooked(
                [&](std::string_view sql, const auto&) {
                    if (silent || (sql == "COMMIT" && refused > 0 && refused-- > 0)) {
                        throw std::runtime_error("refused");
                    }
                },
                [&](const std::string& e) { named += e; },
                [&](std::string_view sql, const auto&) {
                    if (sql == "COMMIT" && lost-- > 0) {
                        silent = fault.thenSilent;
                        throw std::runtime_error("no answer");
                    }
                });
            seed(*store, chip, seeded, 30.0);
            lost = fault.answerLost ? 1 : 0;
            refused = fault.refusedCommits;
            named.clear();
            const auto written =
                write(*store, {scored(chip, 20.0), scored(chip, 40.0), scored(chip, 30.0)});
            silent = false;
            refused = 0;
            const auto ids = idsByKey();
            for (std::size_t i = 0; i < written.size(); ++i) {
                const auto key = lastKey_ - 2 + static_cast<std::int64_t>(i);
                const auto stored = ids.find(key);
                ASSERT_EQ(stored != ids.end(), fault.stored) << i;
                ASSERT_EQ(written[i].placement.has_value(), fault.answered) << i;
                if (fault.answered) {
                    EXPECT_EQ(written[i].placement->id, stored->second);
                } else if (fault.stored) {
                    EXPECT_NE(named.find(std::to_string(stored->second)), std::string::npos)
                        << named;
                }
            }
            EXPECT_EQ(named.find("may be stored") != std::string::npos, !fault.answered);
            EXPECT_TRUE(countsAgree());
        }
    }
}

// A batch sent in one go must be judged as it would be in turn: here the batch's own records
// move the processor's quartiles so far that its last record is held for review.
TEST_P(BatchCases, ABatchIsJudgedAsItsRecordsWouldBeInTurn) {
    const auto store = hooked(noHook);
    seed(*store, "J1", 21, 100.0); // its figures kept as of 20 records
    std::vector<Payload> batch(100, scored("J1", 139.0));
    batch.push_back(scored("J1", 93.0));
    const auto written = write(*store, batch);
    const auto held = [](const Written& w) { return w.placement && w.placement->held; };
    EXPECT_TRUE(held(written.back()));
    EXPECT_EQ(std::count_if(written.begin(), written.end(), held), 1);
}

// A processor whose count row another transaction holds (a stalled instance, an operator's
// open transaction) leaves the batch; the others are written at once, and it alone waits for
// the row.
TEST_P(BatchCases, AHeldCountRowHoldsUpOnlyItsOwnProcessor) {
    if (sqlite()) {
        GTEST_SKIP() << "every SQLite writer holds the whole file";
    }
    const auto store = hooked(noHook);
    seed(*store, "X", 1, 10.0);
    const auto holder = raw();
    holder->run("BEGIN", {});
    holder->run("SELECT records FROM chip_totals WHERE chip_type = 'X' FOR UPDATE", {});
    const auto written = write(*store, {scored("Y", 11.0), scored("X", 12.0), scored("Z", 13.0)});
    EXPECT_TRUE(written[0].placement && written[2].placement);
    EXPECT_TRUE(!written[1].placement && written[1].blocked);

    // Alone, it is turned away as promptly, then waits for the row patiently (the take
    // the watcher sees), and is stored once the holder lets go.
    auto waiting =
        std::async(std::launch::async, [&] { return store->add(scored("X", 12.0), kAt, client_); });
    const auto watcher = raw();
    const auto waitsForTheRow = [&] {
        return number("SELECT COUNT(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock' "
                      "AND query LIKE 'INSERT INTO chip_totals%'",
                      watcher.get()) > 0;
    };
    waitFor(waitsForTheRow);
    holder->run("COMMIT", {});
    EXPECT_TRUE(waiting.get());
    EXPECT_TRUE(countsAgree());
}

INSTANTIATE_TEST_SUITE_P(Engines, BatchCases, ::testing::Values("sqlite", "postgres"));

// Callers that arrive while a batch is written share the next one, up to its bound; each gets
// its own item's result, and a batch whose writer throws fails its own items only.
TEST(GroupCommit, SharesBatchesAndAnswersEachCallerItsOwn) {
    std::mutex mutex;
    std::vector<std::size_t> sizes;
    GroupCommit<int, std::optional<int>> commits(3, [&](const std::vector<const int*>& items) {
        const std::lock_guard lock(mutex);
        // The first batch is written once everyone else waits.
        waitFor([&] { return !sizes.empty() || commits.waiting() >= 7; }, std::chrono::seconds(60));
        sizes.push_back(items.size());
        std::vector<std::optional<int>> doubled;
        for (const int* item : items) {
            if (*item == 7) {
                throw std::runtime_error("a failed batch");
            }
            doubled.emplace_back(*item * 2);
        }
        return doubled;
    });
    std::vector<std::future<std::optional<int>>> answers;
    for (int item = 0; item < 8; ++item) {
        answers.push_back(
            std::async(std::launch::async, [&, item] { return commits.submit(item); }));
    }
    int failed = 0;
    for (int item = 0; item < 8; ++item) {
        const auto answer = answers[item].get();
        failed += !answer;
        EXPECT_TRUE(!answer || *answer == item * 2);
    }
    EXPECT_EQ(sizes, (std::vector<std::size_t>{1, 3, 3, 1})); // then 7 waiting, 3 at a time
    EXPECT_TRUE(failed >= 1 && failed <= 3);                  // item 7 and its batch
}

// Once closed, what waits for a batch fails unwritten, as does what comes later; the batch
// being written finishes and answers its own.
TEST(GroupCommit, AClosedOneWritesOnlyTheBatchUnderWay) {
    std::vector<int> written; // by one batch at a time, read once every caller is answered
    std::promise<void> writing, release;
    GroupCommit<int, std::optional<int>> commits(8, [&](const std::vector<const int*>& items) {
        std::vector<std::optional<int>> doubled;
        for (const int* item : items) {
            written.push_back(*item);
            doubled.emplace_back(*item * 2);
        }
        if (written.size() == items.size()) {
            writing.set_value();
            release.get_future().wait();
        }
        return doubled;
    });
    auto first = std::async(std::launch::async, [&] { return commits.submit(1); });
    writing.get_future().wait();
    auto queued = std::async(std::launch::async, [&] { return commits.submit(2); });
    waitFor([&] { return commits.waiting() >= 1; }, std::chrono::seconds(60));
    commits.close();
    release.set_value();
    EXPECT_EQ(std::make_tuple(first.get(), queued.get(), commits.submit(3)),
              std::make_tuple(std::optional(2), std::nullopt, std::nullopt));
    EXPECT_EQ(written, std::vector<int>{1});
}

} // namespace
} // namespace service
