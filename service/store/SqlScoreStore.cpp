#include "service/store/SqlScoreStore.h"

#include "service/store/PageReads.h"
#include "service/store/RecordColumns.h"
#include "service/store/ReviewSql.h"
#include "service/store/Schema.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <stdexcept>

namespace service {
namespace {

// Submissions written in one transaction at most; with the request threads
// (--threads) waiting on it, a batch seldom reaches this.
constexpr std::size_t kMaxBatch = 256;

// Total, then the faster results: whole seconds below, then those inside
// its second. One statement, so on PostgreSQL one snapshot.
std::string rankQuery(const Dialect& dialect) {
    return "SELECT (SELECT records FROM chip_totals WHERE chip_type = ?), "
           "(SELECT COALESCE(SUM(records), 0) FROM time_buckets WHERE chip_type = ? AND "
           "width_ms = 1000 AND bucket < ?), " +
           belowInSecondTerms(dialect);
}

// Stores a record on the board, with why the review holds it if it does.
// Its trigger takes the processor's total row until the commit, so on
// PostgreSQL every later statement sees all of that processor's results
// committed before and none after.
std::int64_t insertScore(SqlConnection& connection, const submission::Payload& p,
                         const std::string& receivedAt, const ClientVersion& client,
                         const std::optional<Hold>& hold) {
    const auto text = [](const std::string& value) -> SqlValue {
        return value.empty() ? SqlValue{nullptr} : SqlValue{value};
    };
    static const std::string insert =
        "INSERT INTO scores (received_at, " + kPayloadColumns +
        ", client_product, client_version, review_reason, review_figures) VALUES (?, "
        "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id";
    const auto inserted = connection.run(
        insert,
        {receivedAt, p.device_name, p.chip_type, p.ram_gb, p.xcode_build_sec, p.resin_slicer_sec,
         p.max_temp_c, p.swap_used_mb, text(client.product), text(client.version),
         hold ? SqlValue{hold->reason} : SqlValue{nullptr},
         hold ? SqlValue{hold->figures} : SqlValue{nullptr}});
    return asInteger(inserted.at(0).at(0));
}

// The processors of a batch, each once, in one order for every writer.
std::set<std::string> chipsOf(const std::vector<const SqlScoreStore::Submission*>& batch) {
    std::set<std::string> chips;
    for (const auto* submission : batch) {
        chips.insert(submission->payload.chip_type);
    }
    return chips;
}

template <class Work>
auto inTransaction(SqlConnection& connection, const std::string& begin, Work work) {
    Transaction transaction(connection, begin);
    auto result = work();
    transaction.commit();
    return result;
}

// Counts the statements the server answered, so that a failure tells whether
// any of the work reached it.
class Answered final : public SqlConnection {
public:
    explicit Answered(SqlConnection& inner) : inner_(inner) {}
    std::vector<SqlRow> run(std::string_view sql, const std::vector<SqlValue>& params) override {
        auto rows = inner_.run(sql, params);
        ++count;
        return rows;
    }
    bool closedByServer() const override { return inner_.closedByServer(); }
    std::optional<std::string> writeBlocker() override { return inner_.writeBlocker(); }
    int count = 0;

private:
    SqlConnection& inner_;
};

} // namespace

SqlScoreStore::SqlScoreStore(const Dialect& dialect, Connect connect, ErrorSink onError,
                             BatchSink onBatch)
    : dialect_(dialect), rankQuery_(rankQuery(dialect)), connect_(std::move(connect)),
      onError_(std::move(onError)), onBatch_(std::move(onBatch)),
      commits_(kMaxBatch, [this](const std::vector<const Submission*>& batch) {
          return addBatch(batch);
      }) {}

template <class Work>
auto SqlScoreStore::withConnection(Work work)
    -> std::optional<decltype(work(std::declval<SqlConnection&>()))> {
    std::unique_ptr<SqlConnection> connection;
    {
        const std::lock_guard lock(mutex_);
        if (!idle_.empty()) {
            connection = std::move(idle_.back());
            idle_.pop_back();
        }
    }
    try {
        if (connection) {
            Answered answered(*connection);
            try {
                auto result = work(answered);
                giveBack(std::move(connection));
                return result;
            } catch (const std::exception&) {
                if (answered.count > 0 || !connection->closedByServer()) {
                    throw;
                }
            }
            // Closed while idle, and nothing of the work reached the server:
            // once more on a new connection. The others idle since the same
            // restart are closed too.
            const std::lock_guard lock(mutex_);
            idle_.clear();
        }
        connection = connect_();
        auto result = work(*connection);
        giveBack(std::move(connection));
        return result;
    } catch (const std::exception& error) {
        onError_(std::string("database: ") + error.what());
        return std::nullopt;
    }
}

void SqlScoreStore::giveBack(std::unique_ptr<SqlConnection> connection) {
    const std::lock_guard lock(mutex_);
    idle_.push_back(std::move(connection));
}

void SqlScoreStore::migrate() {
    const auto connection = connect_();
    for (const auto& setting : dialect_.migrationSettings) {
        connection->run(setting, {});
    }
    inTransaction(*connection, dialect_.beginWrite, [&] {
        if (!dialect_.lockForMigration.empty()) {
            connection->run(dialect_.lockForMigration, {});
        }
        connection->run("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)", {});
        const auto version = asInteger(
            connection->run("SELECT COALESCE(MAX(version), 0) FROM schema_version", {})[0][0]);
        if (version > kSchemaVersion) {
            throw std::runtime_error("the database has schema version " + std::to_string(version) +
                                     ", newer than this service's " +
                                     std::to_string(kSchemaVersion));
        }
        upgradeSchema(*connection, dialect_, version);
        if (version < kSchemaVersion) {
            connection->run("INSERT INTO schema_version (version) VALUES (?)", {kSchemaVersion});
        }
        return 0;
    });
}

std::pair<std::int64_t, std::int64_t>
SqlScoreStore::placeOf(SqlConnection& connection, const std::string& chip, double seconds) {
    std::vector<SqlValue> values{chip, chip, millisecond(seconds) / 1000};
    const auto inSecond = belowInSecondValues(chip, seconds);
    values.insert(values.end(), inSecond.begin(), inSecond.end());
    const auto counts = connection.run(rankQuery_, values);
    const auto& row = counts.at(0);
    return {1 + asInteger(row.at(1)) + asInteger(row.at(2)) + asInteger(row.at(3)),
            asInteger(row.at(0))};
}

std::optional<Placement> SqlScoreStore::add(const submission::Payload& payload,
                                            const std::string& receivedAt,
                                            const ClientVersion& client) {
    return commits_.submit(Submission{payload, receivedAt, client});
}

std::vector<std::optional<Placement>>
SqlScoreStore::addBatch(const std::vector<const Submission*>& batch) {
    const auto started = std::chrono::steady_clock::now();
    // Savepoints cost two statements a record, so a batch goes without them
    // first; only when it fails is it written again, each record alone.
    auto placed = writeBatch(batch, false);
    if (!placed && batch.size() > 1) {
        placed = writeBatch(batch, true);
    }
    if (!placed) {
        return std::vector<std::optional<Placement>>(batch.size());
    }
    if (onBatch_) {
        onBatch_(batch.size(), std::chrono::duration_cast<std::chrono::microseconds>(
                                   std::chrono::steady_clock::now() - started));
    }
    return *placed;
}

std::optional<std::vector<std::optional<Placement>>>
SqlScoreStore::writeBatch(const std::vector<const Submission*>& batch, bool alone) {
    return withConnection([&](SqlConnection& connection) {
        std::vector<std::optional<Placement>> placed;
        Transaction transaction(connection, dialect_.beginWrite);
        // Each processor's count row, taken in one order by every writer: no
        // other writer can change a processor's records until the commit, so
        // each record's reads agree with each other and with its insert, and
        // two instances never wait on each other's rows crosswise.
        if (!dialect_.lockChip.empty()) {
            for (const auto& chip : chipsOf(batch)) {
                connection.run(dialect_.lockChip, {chip});
            }
        }
        for (const auto* submission : batch) {
            placed.push_back(alone ? addAlone(connection, *submission)
                                   : addOne(connection, *submission));
        }
        transaction.commit();
        return placed;
    });
}

// One record of a batch, behind a savepoint: a record the database refuses
// fails alone, and its neighbours still commit.
std::optional<Placement> SqlScoreStore::addAlone(SqlConnection& connection,
                                                 const Submission& submission) {
    connection.run("SAVEPOINT record", {});
    try {
        auto placement = addOne(connection, submission);
        connection.run("RELEASE SAVEPOINT record", {});
        return placement;
    } catch (const std::exception& error) {
        // Should this fail too, the connection is gone and the whole batch with it.
        connection.run("ROLLBACK TO SAVEPOINT record", {});
        connection.run("RELEASE SAVEPOINT record", {});
        onError_(std::string("database: ") + error.what());
        return std::nullopt;
    }
}

// Placed and judged against the board as it was just before this record
// (the batch's earlier records included), which no other writer can change
// before the commit: its rank among those is its rank once inserted, as a
// time is never faster than itself.
std::optional<Placement> SqlScoreStore::addOne(SqlConnection& connection,
                                               const Submission& submission) {
    const auto& p = submission.payload;
    const auto [rank, before] = placeOf(connection, p.chip_type, p.xcode_build_sec);
    const auto hold =
        reviewTime(p.xcode_build_sec, reviewFigures_.read(connection, dialect_, p.chip_type, before));
    const auto id = insertScore(connection, p, submission.receivedAt, submission.client, hold);
    if (hold) {
        // Ranked as if on the board, then taken off it; the triggers take it
        // out of the counts again.
        moveOffBoard(connection, id, kHeld);
    }
    return Placement{id, rank, before + 1, hold.has_value()};
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

std::optional<std::int64_t> SqlScoreStore::records(const std::optional<std::string>& chip) {
    return withConnection([&](SqlConnection& connection) { return readRecords(connection, chip); });
}

std::optional<Listing> SqlScoreStore::listing(const std::optional<std::string>& chip, int limit,
                                              std::int64_t offset) {
    return withConnection([&](SqlConnection& connection) {
        return inTransaction(connection, dialect_.beginRead, [&] {
            return Listing{bestIn(connection, chip, limit, offset), readRecords(connection, chip)};
        });
    });
}

std::optional<std::optional<ResultData>> SqlScoreStore::result(std::int64_t id, int bins) {
    return withConnection([&](SqlConnection& connection) -> std::optional<ResultData> {
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
            data.median = readChipSummary(connection, dialect_, chip, standing.total).median;
            data.distribution = readDistribution(connection, dialect_, chip, bins);
            return data;
        });
    });
}

std::optional<PageData> SqlScoreStore::page(const std::optional<std::string>& chip, int rows,
                                            std::int64_t offset, int bins) {
    // One read transaction: every count, median and row of the page from the
    // same moment, so none contradicts another.
    return withConnection([&](SqlConnection& connection) {
        return inTransaction(connection, dialect_.beginRead, [&] {
            PageData data{summaries_.read(connection, dialect_),
                          bestIn(connection, chip, rows, offset), readRecords(connection, chip),
                          std::nullopt};
            if (chip) {
                data.distribution = readDistribution(connection, dialect_, *chip, bins);
            }
            // A later page may begin inside a run of equal times, ranked where it began.
            if (offset > 0 && !data.best.empty()) {
                const double time = data.best[0].payload.xcode_build_sec;
                const std::string all = "SELECT COUNT(*) FROM scores WHERE xcode_build_sec < ?";
                data.fasterThanBest = chip ? placeOf(connection, *chip, time).first - 1
                                           : asInteger(connection.run(all, {time}).at(0).at(0));
            }
            return data;
        });
    });
}

bool SqlScoreStore::reachable() {
    return withConnection([](SqlConnection& connection) {
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

std::unique_ptr<ScoreStore> openStore(const std::string& database,
                                      SqlScoreStore::ErrorSink onError,
                                      SqlScoreStore::BatchSink onBatch) {
    auto engine = engineFor(database);
    if (!engine.postgres) {
        openSqlite(database, true); // later connections never make an empty file in its place
    }
    auto store = std::make_unique<SqlScoreStore>(engine.dialect, std::move(engine.connect),
                                                 std::move(onError), std::move(onBatch));
    store->migrate();
    return store;
}

} // namespace service
