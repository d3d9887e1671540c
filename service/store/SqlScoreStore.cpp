#include "service/store/SqlScoreStore.h"

#include "service/store/PageReads.h"
#include "service/store/RecordColumns.h"
#include "service/store/ReviewSql.h"
#include "service/store/Schema.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>

namespace service {
namespace {

// Total, then the faster results: whole seconds below, then those inside
// its second. One statement, so on PostgreSQL one snapshot.
std::string rankQuery(const Dialect& dialect) {
    return "SELECT (SELECT records FROM chip_totals WHERE chip_type = ?), "
           "(SELECT COALESCE(SUM(records), 0) FROM time_buckets WHERE chip_type = ? AND "
           "width_ms = 1000 AND bucket < ?), " +
           belowInSecondTerms(dialect);
}

template <class Work>
auto inTransaction(SqlConnection& connection, const std::string& begin, Work work) {
    Transaction transaction(connection, begin);
    auto result = work();
    transaction.commit();
    return result;
}

} // namespace

SqlScoreStore::SqlScoreStore(const Dialect& dialect, Connect connect, ErrorSink onError,
                             BatchSink onBatch, WritePatience patience, ErrorSink onUncertain)
    : dialect_(dialect), rankQuery_(rankQuery(dialect)), pool_(std::move(connect), onError),
      onError_(std::move(onError)), onUncertain_(onUncertain ? std::move(onUncertain) : onError_),
      onBatch_(std::move(onBatch)), patience_(patience),
      keySalt_(std::random_device{}() & 0x7fffffffU),
      commits_(kMaxSubmissionsPerCommit, [this](const Batch& batch) { return addBatch(batch); }) {}

void SqlScoreStore::migrate() {
    migrateSchema(*pool_.connect(), dialect_);
}

SqlStatement SqlScoreStore::placeStatement(const std::string& chip, double seconds) const {
    std::vector<SqlValue> values{chip, chip, millisecond(seconds) / 1000};
    const auto inSecond = belowInSecondValues(chip, seconds);
    values.insert(values.end(), inSecond.begin(), inSecond.end());
    return {rankQuery_, std::move(values)};
}

std::pair<std::int64_t, std::int64_t> SqlScoreStore::placeFrom(const std::vector<SqlRow>& rows) {
    const auto& row = rows.at(0);
    return {1 + asInteger(row.at(1)) + asInteger(row.at(2)) + asInteger(row.at(3)),
            asInteger(row.at(0))};
}

std::pair<std::int64_t, std::int64_t>
SqlScoreStore::placeOf(SqlConnection& connection, const std::string& chip, double seconds) {
    const auto statement = placeStatement(chip, seconds);
    return placeFrom(connection.run(statement.sql, statement.params));
}

std::vector<StoredScore> SqlScoreStore::bestIn(SqlConnection& connection,
                                               const std::optional<std::string>& chip, int limit,
                                               std::int64_t offset) {
    const std::string select = "SELECT " + storedColumns(dialect_) + " FROM scores ";
    const auto rows =
        chip ? connection.run(
                   select + "WHERE chip_type = ? ORDER BY xcode_build_sec, id LIMIT ? OFFSET ?",
                   {*chip, std::int64_t{limit}, offset})
             : connection.run(select + "ORDER BY xcode_build_sec, id LIMIT ? OFFSET ?",
                              {std::int64_t{limit}, offset});
    std::vector<StoredScore> scores;
    scores.reserve(rows.size());
    for (const auto& row : rows) {
        scores.push_back(storedScore(row));
    }
    return scores;
}

// A later page may begin inside a run of equal times, ranked where it began.
std::int64_t SqlScoreStore::fasterThan(SqlConnection& connection,
                                       const std::optional<std::string>& chip,
                                       const StoredScore& first) {
    const double time = first.payload.xcode_build_sec;
    const std::string all = "SELECT COUNT(*) FROM scores WHERE xcode_build_sec < ?";
    return chip ? placeOf(connection, *chip, time).first - 1
                : asInteger(connection.run(all, {time}).at(0).at(0));
}

std::optional<std::int64_t> SqlScoreStore::records(const std::optional<std::string>& chip) {
    return pool_.with([&](SqlConnection& connection) { return readRecords(connection, chip); });
}

// The kept per-processor counts and the few withheld rows: no scan of `scores`.
std::optional<BoardCounts> SqlScoreStore::counts() {
    return pool_.with([&](SqlConnection& connection) {
        const auto row = connection
                             .run("SELECT CAST(COALESCE((SELECT SUM(records) FROM chip_totals), "
                                  "0) AS BIGINT), (SELECT COUNT(*) FROM withheld WHERE state = ?)",
                                  {std::string(kHeld)})
                             .at(0);
        return BoardCounts{asInteger(row.at(0)), asInteger(row.at(1))};
    });
}

Listing SqlScoreStore::bestFolded(SqlConnection& connection, const std::string& chip, int limit,
                                  std::int64_t offset) {
    const auto chips = readChipsFolding(connection, foldName(chip));
    Listing listing;
    for (const auto& name : chips) {
        listing.total += readRecords(connection, name);
    }
    if (chips.size() == 1) { // one processor's times are read in order from its index
        listing.rows = bestIn(connection, chips[0], limit, offset);
    } else if (chips.size() > 1) {
        for (const auto& row : connection.run(
                 "SELECT " + storedColumns(dialect_) + " FROM scores WHERE chip_type IN (" +
                     kChipsFolding + ") ORDER BY xcode_build_sec, id LIMIT ? OFFSET ?",
                 {foldName(chip), std::int64_t{limit}, offset})) {
            listing.rows.push_back(storedScore(row));
        }
    }
    if (offset > 0 && !listing.rows.empty()) { // ranks count every processor listed
        for (const auto& name : chips) {
            listing.fasterThanFirst +=
                placeOf(connection, name, listing.rows[0].payload.xcode_build_sec).first - 1;
        }
    }
    return listing;
}

std::optional<Listing> SqlScoreStore::listing(const std::optional<std::string>& chip, int limit,
                                              std::int64_t offset) {
    return pool_.with([&](SqlConnection& connection) {
        return inTransaction(connection, dialect_.beginRead, [&] {
            Listing listed = chip ? bestFolded(connection, *chip, limit, offset)
                                  : Listing{bestIn(connection, chip, limit, offset),
                                            readRecords(connection, chip)};
            if (offset > 0 && !listed.rows.empty() && !chip) {
                listed.fasterThanFirst = fasterThan(connection, std::nullopt, listed.rows[0]);
            }
            return listed;
        });
    });
}

std::optional<std::optional<ResultData>> SqlScoreStore::result(std::int64_t id, int bins) {
    return pool_.with([&](SqlConnection& connection) -> std::optional<ResultData> {
        return inTransaction(connection, dialect_.beginRead, [&]() -> std::optional<ResultData> {
            const auto rows = connection.run(
                "SELECT " + storedColumns(dialect_) + " FROM scores WHERE id = ?", {id});
            if (rows.empty()) {
                return std::nullopt;
            }
            ResultData data{Standing{storedScore(rows[0]), 0, 0}, 0.0, {}};
            auto& standing = data.standing;
            const auto& chip = standing.score.payload.chip_type;
            std::tie(standing.rank, standing.total) =
                placeOf(connection, chip, standing.score.payload.xcode_build_sec);
            data.median =
                spreads_.read(connection, dialect_, chip, readTally(connection, chip)).median;
            data.distribution = readDistribution(connection, dialect_, chip, bins);
            return data;
        });
    });
}

std::optional<LeaderboardData> SqlScoreStore::leaderboard(const std::optional<std::string>& chip,
                                                          int rows, std::int64_t offset, int bins) {
    // One read transaction: every count, median and row of the page from the
    // same moment, so none contradicts another.
    return pool_.with([&](SqlConnection& connection) {
        return inTransaction(connection, dialect_.beginRead, [&] {
            LeaderboardData data{spreads_.mostResults(connection, dialect_, kTopChips),
                                 bestIn(connection, chip, rows, offset),
                                 readRecords(connection, chip), std::nullopt};
            if (chip) {
                data.distribution = readDistribution(connection, dialect_, *chip, bins);
            }
            if (offset > 0 && !data.best.empty()) {
                data.fasterThanBest = fasterThan(connection, chip, data.best[0]);
            }
            return data;
        });
    });
}

std::optional<ProcessorList> SqlScoreStore::processors(const ProcessorQuery& query) {
    return pool_.with([&](SqlConnection& connection) {
        return inTransaction(connection, dialect_.beginRead,
                             [&] { return spreads_.list(connection, dialect_, query); });
    });
}

std::optional<ProcessorData> SqlScoreStore::figures(SqlConnection& connection,
                                                    const std::string& chip) {
    const auto tally = readTally(connection, chip);
    if (tally.records <= 0) {
        return std::nullopt;
    }
    ProcessorData data;
    data.row = ProcessorRow{chip, spreads_.read(connection, dialect_, chip, tally)};
    data.held = readHeld(connection, chip);
    return data;
}

std::optional<std::optional<ProcessorData>>
SqlScoreStore::processor(const std::string& chip, int rows, std::int64_t offset, int bins) {
    return pool_.with([&](SqlConnection& connection) -> std::optional<ProcessorData> {
        return inTransaction(connection, dialect_.beginRead, [&] {
            auto data = figures(connection, chip);
            if (data) {
                data->byMemory = readByMemory(connection, chip);
                data->distribution = readDistribution(connection, dialect_, chip, bins);
                data->best = bestIn(connection, chip, rows, offset);
                if (offset > 0 && !data->best.empty()) {
                    data->fasterThanBest = fasterThan(connection, chip, data->best[0]);
                }
            }
            return data;
        });
    });
}

std::optional<Comparison> SqlScoreStore::comparison(const std::string& a, const std::string& b,
                                                    int bins) {
    return pool_.with([&](SqlConnection& connection) {
        return inTransaction(connection, dialect_.beginRead, [&] {
            Comparison both{figures(connection, a), figures(connection, b)};
            if (both.a && both.b) {
                std::tie(both.a->distribution, both.b->distribution) =
                    readDistributions(connection, dialect_, a, b, bins);
            }
            return both;
        });
    });
}

std::optional<BoardTally> SqlScoreStore::boardTally() {
    // A sum over one row per processor, not one row every writer updates:
    // that row would queue every instance's writers behind each other.
    return pool_.with([](SqlConnection& connection) {
        const auto row = connection.run(
            "SELECT (SELECT CAST(COALESCE(SUM(changes), 0) AS BIGINT) FROM chip_totals), "
            "(SELECT COUNT(*) FROM withheld WHERE state = 'held')",
            {});
        return BoardTally{asInteger(row.at(0).at(0)), asInteger(row.at(0).at(1))};
    });
}

bool SqlScoreStore::reachable() {
    return pool_
        .with([](SqlConnection& connection) {
            // The tables a submission writes, without reading a row.
            connection.run("SELECT (SELECT MAX(version) FROM schema_version), "
                           "(SELECT COUNT(*) FROM scores WHERE 1 = 0), "
                           "(SELECT COUNT(*) FROM withheld WHERE 1 = 0), "
                           "(SELECT COUNT(*) FROM chip_totals WHERE 1 = 0), "
                           "(SELECT COUNT(*) FROM time_buckets WHERE 1 = 0)",
                           {});
            if (auto blocker = connection.writeBlocker()) {
                throw std::runtime_error(*blocker);
            }
            return true;
        })
        .value_or(false);
}

std::unique_ptr<ScoreStore> openStore(const std::string& database, SqlScoreStore::ErrorSink onError,
                                      SqlScoreStore::BatchSink onBatch,
                                      SqlScoreStore::ErrorSink onUncertain) {
    auto engine = engineFor(database);
    if (!engine.postgres) {
        openSqlite(database, true); // later connections never make an empty file in its place
    }
    auto store = std::make_unique<SqlScoreStore>(engine.dialect, std::move(engine.connect),
                                                 std::move(onError), std::move(onBatch),
                                                 WritePatience{}, std::move(onUncertain));
    store->migrate();
    return store;
}

} // namespace service
