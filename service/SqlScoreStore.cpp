#include "service/SqlScoreStore.h"

#include "service/Options.h"
#include "service/ReviewSql.h"

#include <stdexcept>

namespace service {
namespace {

constexpr std::int64_t kSchemaVersion = 3;

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
        if (version < 3) {
            for (const auto& statement : reviewSchema()) {
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
                                            const std::string& receivedAt,
                                            const ClientVersion& client) {
    std::unique_lock<std::mutex> writer(writerMutex_, std::defer_lock);
    if (dialect_.oneWriterAtATime) {
        writer.lock();
    }
    const auto text = [](const std::string& value) -> SqlValue {
        return value.empty() ? SqlValue{nullptr} : SqlValue{value};
    };
    return withConnection([&](SqlConnection& connection) {
        return inTransaction(connection, dialect_.beginWrite, [&] {
            const auto counted = connection.run(
                "SELECT records FROM chip_counts WHERE chip_type = ?", {p.chip_type});
            const std::int64_t records = counted.empty() ? 0 : asInteger(counted[0][0]);
            const auto hold =
                reviewTime(p.xcode_build_sec, reviewFigures(connection, p.chip_type, records));
            const auto inserted = connection.run(
                "INSERT INTO scores (received_at, " + kPayloadColumns +
                    ", client_product, client_version, review_reason, review_figures) VALUES (?, "
                    "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id",
                {receivedAt, p.device_name, p.chip_type, p.ram_gb, p.xcode_build_sec,
                 p.resin_slicer_sec, p.max_temp_c, p.swap_used_mb, text(client.product),
                 text(client.version), hold ? SqlValue{hold->reason} : SqlValue{nullptr},
                 hold ? SqlValue{hold->figures} : SqlValue{nullptr}});
            const auto id = asInteger(inserted.at(0).at(0));
            // Exact, and walks only the index entries of faster results.
            const auto faster = connection.run(
                "SELECT COUNT(*) FROM scores WHERE chip_type = ? AND xcode_build_sec < ?",
                {p.chip_type, p.xcode_build_sec});
            const auto rank = asInteger(faster.at(0).at(0)) + 1;
            if (hold) {
                moveOffBoard(connection, id, kHeld, false);
                return Placement{id, rank, records + 1, true};
            }
            // Last, so that PostgreSQL holds the processor's row lock only until the commit.
            const auto total = connection.run(
                "INSERT INTO chip_counts (chip_type, records) VALUES (?, 1) ON CONFLICT "
                "(chip_type) DO UPDATE SET records = chip_counts.records + 1 RETURNING records",
                {p.chip_type});
            return Placement{id, rank, asInteger(total.at(0).at(0)), false};
        });
    });
}

std::optional<std::vector<StoredScore>> SqlScoreStore::best(const std::optional<std::string>& chip,
                                                            int limit) {
    return withConnection([&](SqlConnection& connection) {
        const std::string select =
            "SELECT id, " + dialect_.receivedAtText + ", " + kPayloadColumns + " FROM scores ";
        const auto rows =
            chip ? connection.run(select +
                                      "WHERE chip_type = ? ORDER BY xcode_build_sec, id LIMIT ?",
                                  {*chip, std::int64_t{limit}})
                 : connection.run(select + "ORDER BY xcode_build_sec, id LIMIT ?",
                                  {std::int64_t{limit}});
        std::vector<StoredScore> scores;
        scores.reserve(rows.size());
        for (const auto& row : rows) {
            scores.push_back(storedScore(row));
        }
        return scores;
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

std::optional<Distribution> SqlScoreStore::distribution(const std::string& chip, int bins) {
    return withConnection([&](SqlConnection& connection) {
        // Two lone MIN and MAX, which SQLite reads from the index ends; in one
        // SELECT it scans every record of the processor.
        const auto range =
            connection.run("SELECT (SELECT MIN(xcode_build_sec) FROM scores WHERE chip_type = ?), "
                           "(SELECT MAX(xcode_build_sec) FROM scores WHERE chip_type = ?)",
                           {chip, chip});
        Distribution result;
        if (std::holds_alternative<std::nullptr_t>(range.at(0).at(0)) || bins < 1) {
            return result;
        }
        result.low = asNumber(range[0][0]);
        const double span = asNumber(range[0][1]) - result.low;
        result.binWidth = span > 0.0 ? span / bins : 1.0;
        result.counts.assign(static_cast<std::size_t>(bins), 0);
        const auto rows =
            connection.run("SELECT " + dialect_.binOfTime +
                               ", COUNT(*) FROM scores WHERE chip_type = ? GROUP BY 1",
                           {result.low, result.binWidth, chip});
        for (const auto& row : rows) {
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

Engine engineFor(const std::string& database) {
    const auto form = databaseForm(database);
    if (std::holds_alternative<DatabaseForm>(form) &&
        std::get<DatabaseForm>(form).engine == DatabaseEngine::postgres) {
        return Engine{postgresDialect(), [database] { return openPostgres(database); }, true};
    }
    return Engine{sqliteDialect(), [database] { return openSqlite(database); }, false};
}

std::unique_ptr<ScoreStore> openStore(const std::string& database,
                                      SqlScoreStore::ErrorSink onError) {
    auto engine = engineFor(database);
    auto store = std::make_unique<SqlScoreStore>(engine.dialect, std::move(engine.connect),
                                                 std::move(onError));
    store->migrate();
    return store;
}

} // namespace service
