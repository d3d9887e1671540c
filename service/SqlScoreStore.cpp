#include "service/SqlScoreStore.h"

#include "service/Options.h"

#include <algorithm>
#include <stdexcept>

namespace service {
namespace {

constexpr std::int64_t kSchemaVersion = 2;

// Version 2 keeps each processor's number of records, so that a submission's
// placement does not count them all. Both engines take the same SQL.
const std::vector<std::string> kSchemaV2 = {
    "CREATE TABLE chip_counts (chip_type TEXT PRIMARY KEY, records BIGINT NOT NULL)",
    "INSERT INTO chip_counts (chip_type, records) SELECT chip_type, COUNT(*) FROM scores GROUP BY "
    "chip_type",
};

const std::string kPayloadColumns =
    "device_name, chip_type, ram_gb, xcode_build_sec, resin_slicer_sec, max_temp_c, swap_used_mb";

StoredScore storedScore(const SqlRow& row) {
    return StoredScore{asInteger(row[0]), asText(row[1]),
                       submission::Payload{asText(row[2]), asText(row[3]), asInteger(row[4]),
                                           asNumber(row[5]), asNumber(row[6]), asInteger(row[7]),
                                           asInteger(row[8])}};
}

// Commits on success; a connection left inside a failed transaction is
// dropped by the caller, which rolls it back.
template <class Work>
auto inTransaction(SqlConnection& connection, const std::string& begin, Work work) {
    connection.run(begin, {});
    auto result = work();
    connection.run("COMMIT", {});
    return result;
}

} // namespace

std::pair<double, double> outlierFences(double q1, double q3) {
    // Tukey's far-out fences, three spreads past the quartiles; the spread is
    // at least 1 % of the upper quartile, so that identical times do not
    // close the range around them.
    const double spread = std::max(q3 - q1, 0.01 * q3);
    return {q1 - 3 * spread, q3 + 3 * spread};
}

SqlScoreStore::SqlScoreStore(const Dialect& dialect, Connect connect, ErrorSink onError)
    : dialect_(dialect), connect_(std::move(connect)), onError_(std::move(onError)) {}

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
        if (!connection) {
            connection = connect_();
        }
        auto result = work(*connection);
        const std::lock_guard lock(mutex_);
        idle_.push_back(std::move(connection));
        return result;
    } catch (const std::exception& error) {
        onError_(std::string("database: ") + error.what());
        return std::nullopt;
    }
}

void SqlScoreStore::migrate() {
    const auto connection = connect_();
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
        if (version < 1) {
            for (const auto& statement : dialect_.createSchemaV1) {
                connection->run(statement, {});
            }
        }
        if (version < 2) {
            for (const auto& statement : kSchemaV2) {
                connection->run(statement, {});
            }
        }
        if (version < kSchemaVersion) {
            connection->run("INSERT INTO schema_version (version) VALUES (?)", {kSchemaVersion});
        }
        return 0;
    });
}

std::optional<Placement> SqlScoreStore::add(const submission::Payload& p,
                                            const std::string& receivedAt) {
    std::unique_lock<std::mutex> writer(writerMutex_, std::defer_lock);
    if (dialect_.oneWriterAtATime) {
        writer.lock();
    }
    return withConnection([&](SqlConnection& connection) {
        return inTransaction(connection, dialect_.beginWrite, [&] {
            const auto inserted =
                connection.run("INSERT INTO scores (received_at, " + kPayloadColumns +
                                   ") VALUES (?, ?, ?, ?, ?, ?, ?, ?) RETURNING id",
                               {receivedAt, p.device_name, p.chip_type, p.ram_gb, p.xcode_build_sec,
                                p.resin_slicer_sec, p.max_temp_c, p.swap_used_mb});
            // Exact, and walks only the index entries of faster results.
            const auto faster = connection.run(
                "SELECT COUNT(*) FROM scores WHERE chip_type = ? AND xcode_build_sec < ?",
                {p.chip_type, p.xcode_build_sec});
            // Last, so that PostgreSQL holds the processor's row lock only until the commit.
            const auto total = connection.run(
                "INSERT INTO chip_counts (chip_type, records) VALUES (?, 1) ON CONFLICT "
                "(chip_type) DO UPDATE SET records = chip_counts.records + 1 RETURNING records",
                {p.chip_type});
            return Placement{asInteger(inserted.at(0).at(0)), asInteger(faster.at(0).at(0)) + 1,
                             asInteger(total.at(0).at(0))};
        });
    });
}

std::optional<std::vector<StoredScore>> SqlScoreStore::best(const std::optional<std::string>& chip,
                                                            int limit, std::int64_t offset) {
    return withConnection([&](SqlConnection& connection) {
        const std::string select =
            "SELECT id, " + dialect_.receivedAtText + ", " + kPayloadColumns + " FROM scores ";
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
    });
}

std::optional<std::int64_t> SqlScoreStore::records(const std::optional<std::string>& chip) {
    return withConnection([&](SqlConnection& connection) {
        return chip ? count(connection, *chip)
                    : asInteger(connection
                                    .run("SELECT CAST(COALESCE(SUM(records), 0) AS BIGINT) FROM "
                                         "chip_counts",
                                         {})
                                    .at(0)
                                    .at(0));
    });
}

std::optional<std::optional<Standing>> SqlScoreStore::standing(std::int64_t id) {
    return withConnection([&](SqlConnection& connection) -> std::optional<Standing> {
        const auto rows = connection.run("SELECT id, " + dialect_.receivedAtText + ", " +
                                             kPayloadColumns + " FROM scores WHERE id = ?",
                                         {id});
        if (rows.empty()) {
            return std::nullopt;
        }
        Standing result{storedScore(rows[0]), 0, 0};
        const auto& p = result.score.payload;
        result.rank = countWhere(connection, p.chip_type, "<", p.xcode_build_sec) + 1;
        result.total = count(connection, p.chip_type);
        return result;
    });
}

double SqlScoreStore::median(SqlConnection& connection, const std::string& chip,
                             std::int64_t count) {
    // The middle one or two times, read along the (chip, time) index.
    const auto rows = connection.run(
        "SELECT AVG(t) FROM (SELECT xcode_build_sec AS t FROM scores WHERE chip_type = ? "
        "ORDER BY xcode_build_sec LIMIT ? OFFSET ?) AS middle",
        {chip, std::int64_t{2 - count % 2}, std::int64_t{(count - 1) / 2}});
    return asNumber(rows.at(0).at(0));
}

std::optional<std::vector<ChipSummary>> SqlScoreStore::chips() {
    return withConnection([&](SqlConnection& connection) {
        const auto rows = connection.run("SELECT chip_type, MIN(xcode_build_sec), COUNT(*) FROM "
                                         "scores GROUP BY chip_type ORDER BY 3 DESC, 1 LIMIT 500",
                                         {});
        std::vector<ChipSummary> summaries;
        summaries.reserve(rows.size());
        for (const auto& row : rows) {
            const auto count = asInteger(row[2]);
            summaries.push_back(ChipSummary{asText(row[0]), asNumber(row[1]),
                                            median(connection, asText(row[0]), count), count});
        }
        return summaries;
    });
}

std::int64_t SqlScoreStore::count(SqlConnection& connection, const std::string& chip) {
    const auto rows = connection.run("SELECT records FROM chip_counts WHERE chip_type = ?", {chip});
    return rows.empty() ? 0 : asInteger(rows[0][0]);
}

std::int64_t SqlScoreStore::countWhere(SqlConnection& connection, const std::string& chip,
                                       const char* comparison, double seconds) {
    // Walks only the index entries on one side of `seconds`.
    return asInteger(connection
                         .run(std::string("SELECT COUNT(*) FROM scores WHERE chip_type = ? AND "
                                          "xcode_build_sec ") +
                                  comparison + " ?",
                              {chip, seconds})
                         .at(0)
                         .at(0));
}

double SqlScoreStore::nth(SqlConnection& connection, const std::string& chip, std::int64_t offset) {
    return asNumber(connection
                        .run("SELECT xcode_build_sec FROM scores WHERE chip_type = ? ORDER BY "
                             "xcode_build_sec LIMIT 1 OFFSET ?",
                             {chip, offset})
                        .at(0)
                        .at(0));
}

double SqlScoreStore::bound(SqlConnection& connection, const std::string& chip,
                            const char* aggregate, const char* comparison, double fence) {
    return asNumber(connection
                        .run(std::string("SELECT ") + aggregate +
                                 "(xcode_build_sec) FROM scores WHERE chip_type = ? AND "
                                 "xcode_build_sec " +
                                 comparison + " ?",
                             {chip, fence})
                        .at(0)
                        .at(0));
}

std::optional<Distribution> SqlScoreStore::distribution(const std::string& chip, int bins) {
    return withConnection([&](SqlConnection& connection) {
        Distribution result;
        const auto n = count(connection, chip);
        if (n == 0 || bins < 1) {
            return result;
        }
        // Quantiles and ends read along the (chip, time) index, never a scan;
        // the quartiles lean outwards, so that a few results are all binned.
        const auto fences = outlierFences(nth(connection, chip, (n - 1) / 4),
                                          nth(connection, chip, (3 * (n - 1) + 3) / 4));
        const double low = bound(connection, chip, "MIN", ">=", fences.first);
        const double high = bound(connection, chip, "MAX", "<=", fences.second);
        result.low = low;
        result.binWidth = high > low ? (high - low) / bins : 1.0;
        result.counts.assign(static_cast<std::size_t>(bins), 0);
        result.below = countWhere(connection, chip, "<", low);
        result.above = countWhere(connection, chip, ">", high);
        const auto rows = connection.run(
            "SELECT " + dialect_.binOfTime +
                ", COUNT(*) FROM scores WHERE chip_type = ? AND xcode_build_sec BETWEEN ? AND ? "
                "GROUP BY 1",
            {result.low, result.binWidth, chip, low, high});
        for (const auto& row : rows) {
            // The top of the range falls on the last bin's upper edge: it belongs in it.
            const auto bin = std::clamp<std::int64_t>(asInteger(row[0]), 0, bins - 1);
            result.counts[static_cast<std::size_t>(bin)] += asInteger(row[1]);
        }
        return result;
    });
}

bool SqlScoreStore::reachable() {
    return withConnection(
               [](SqlConnection& connection) { return connection.run("SELECT 1", {}).size() == 1; })
        .value_or(false);
}

std::unique_ptr<ScoreStore> openStore(const std::string& database,
                                      SqlScoreStore::ErrorSink onError) {
    const auto form = databaseForm(database);
    const bool postgres = std::holds_alternative<DatabaseForm>(form) &&
                          std::get<DatabaseForm>(form).engine == DatabaseEngine::postgres;
    auto store = postgres ? std::make_unique<SqlScoreStore>(
                                postgresDialect(), [database] { return openPostgres(database); },
                                std::move(onError))
                          : std::make_unique<SqlScoreStore>(
                                sqliteDialect(), [database] { return openSqlite(database); },
                                std::move(onError));
    store->migrate();
    return store;
}

} // namespace service
