#include "service/store/Schema.h"

#include "service/store/ProcessorReads.h"

#include <stdexcept>

namespace service {
namespace {

// Version 2 kept each processor's number of records in `chip_counts`, written
// by the service itself. Both engines take the same SQL. Version 3 stops
// writing it; it stays for instances of version 2 still running during an
// upgrade, and nothing reads it.
const std::vector<std::string> kSchemaV2 = {
    "CREATE TABLE chip_counts (chip_type TEXT PRIMARY KEY, records BIGINT NOT NULL)",
    "INSERT INTO chip_counts (chip_type, records) SELECT chip_type, COUNT(*) FROM scores GROUP BY "
    "chip_type",
};

// Version 3: counts kept by the database's own triggers on `scores`, so they
// stay exact whichever binary inserts or deletes, an older one included.
//   chip_totals (chip_type, records): a processor's number of results.
//   time_buckets (chip_type, width_ms, bucket, records): how many of its
//     results have m / width_ms = bucket, where m is xcode_build_sec in whole
//     milliseconds, rounded down (Dialect::millisecondOf). width_ms is 1000
//     (one row per second) or 1 (one per millisecond). Deletes can leave rows
//     of 0.
// A rank then sums at most one row per second below the time, at most 1,000
// millisecond rows inside its second, and walks one millisecond's records.
const std::vector<std::string> kCountTables = {
    "CREATE TABLE chip_totals (chip_type TEXT PRIMARY KEY, records BIGINT NOT NULL)",
    "CREATE TABLE time_buckets (chip_type TEXT NOT NULL, width_ms BIGINT NOT NULL, "
    "bucket BIGINT NOT NULL, records BIGINT NOT NULL, PRIMARY KEY (chip_type, width_ms, bucket))",
};

std::vector<std::string> countBackfill(const Dialect& dialect) {
    return {
        "INSERT INTO chip_totals (chip_type, records) SELECT chip_type, COUNT(*) FROM scores "
        "GROUP BY chip_type",
        "INSERT INTO time_buckets (chip_type, width_ms, bucket, records) SELECT chip_type, 1, " +
            dialect.millisecondOf("xcode_build_sec") + ", COUNT(*) FROM scores GROUP BY 1, 3",
        "INSERT INTO time_buckets (chip_type, width_ms, bucket, records) SELECT chip_type, 1000, "
        "bucket / 1000, SUM(records) FROM time_buckets WHERE width_ms = 1 GROUP BY chip_type, "
        "bucket / 1000",
    };
}

// Version 4: records off the board (held for review or hidden by an operator)
// move to `withheld`, a table with the columns of `scores` and a state. Every
// public read, count and rank reads `scores` alone, so none of them filters,
// and the triggers count a record out as it leaves and in as it returns. Ids
// stay unique across both: a record is always inserted into `scores` first,
// and moves keep its id. `scores` gains the client's version and the review's
// reason and figures.
const std::vector<std::string> kReviewTables = {
    "ALTER TABLE scores ADD COLUMN client_product TEXT",
    "ALTER TABLE scores ADD COLUMN client_version TEXT",
    "ALTER TABLE scores ADD COLUMN review_reason TEXT",
    "ALTER TABLE scores ADD COLUMN review_figures TEXT",
    "CREATE TABLE withheld AS SELECT * FROM scores WHERE 1 = 0",
    "ALTER TABLE withheld ADD COLUMN state TEXT NOT NULL DEFAULT 'held'",
    "CREATE UNIQUE INDEX withheld_by_id ON withheld (id)",
};

// Version 5: each submission carries a key the service made, stored with it
// and unique, so that after a commit whose answer was lost the service can
// read whether it was stored instead of storing it again. Older records have
// none. PostgreSQL also gains take_chip (Dialect::takeChipPromptly).
const std::vector<std::string> kSubmissionKeys = {
    "ALTER TABLE scores ADD COLUMN submission_key BIGINT",
    "ALTER TABLE withheld ADD COLUMN submission_key BIGINT",
    "CREATE UNIQUE INDEX scores_by_key ON scores (submission_key)",
    "CREATE UNIQUE INDEX withheld_by_key ON withheld (submission_key)",
};

// Version 6: the names search finds a processor by, folded as foldName does,
// which the database cannot: the service writes a processor's as its first
// records are, and this step those already stored.
void nameStoredChips(SqlConnection& connection) {
    connection.run("CREATE TABLE chip_names (chip_type TEXT PRIMARY KEY, folded TEXT NOT NULL)",
                   {});
    std::vector<std::string> chips;
    for (const auto& row : connection.run("SELECT chip_type FROM chip_totals", {})) {
        chips.push_back(asText(row.at(0)));
    }
    nameChips(connection, chips);
}

// Version 7: a processor's results and best time by installed memory, kept
// by the counting triggers, which this step replaces, so that a processor's
// page reads a row per size instead of every one of its results; and the
// changes ever made to a processor's results, so that figures the service
// keeps are read again exactly when they may differ.
const std::vector<std::string> kMemoryTable = {
    "ALTER TABLE chip_totals ADD COLUMN changes BIGINT NOT NULL DEFAULT 0",
    "CREATE TABLE chip_memory (chip_type TEXT NOT NULL, ram_gb BIGINT NOT NULL, records BIGINT "
    "NOT NULL, best DOUBLE PRECISION, PRIMARY KEY (chip_type, ram_gb))",
    "INSERT INTO chip_memory (chip_type, ram_gb, records, best) SELECT chip_type, ram_gb, "
    "COUNT(*), MIN(xcode_build_sec) FROM scores GROUP BY chip_type, ram_gb",
};

void runAll(SqlConnection& connection, const std::vector<std::string>& statements) {
    for (const auto& statement : statements) {
        connection.run(statement, {});
    }
}

} // namespace

std::int64_t readSchemaVersion(SqlConnection& connection) {
    return asInteger(
        connection.run("SELECT COALESCE(MAX(version), 0) FROM schema_version", {}).at(0).at(0));
}

void migrateSchema(SqlConnection& connection, const Dialect& dialect) {
    for (const auto& setting : dialect.migrationSettings) {
        connection.run(setting, {});
    }
    Transaction transaction(connection, dialect.beginWrite);
    if (!dialect.lockForMigration.empty()) {
        connection.run(dialect.lockForMigration, {});
    }
    connection.run("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)", {});
    const auto version = readSchemaVersion(connection);
    if (version > kSchemaVersion) {
        throw std::runtime_error("the database has schema version " + std::to_string(version) +
                                 ", newer than this service's " + std::to_string(kSchemaVersion));
    }
    upgradeSchema(connection, dialect, version);
    if (version < kSchemaVersion) {
        connection.run("INSERT INTO schema_version (version) VALUES (?)", {kSchemaVersion});
    }
    transaction.commit();
}

void upgradeSchema(SqlConnection& connection, const Dialect& dialect, std::int64_t version) {
    if (version < 1) {
        runAll(connection, dialect.createSchemaV1);
    }
    if (version < 2) {
        runAll(connection, kSchemaV2);
    }
    if (version < 3) {
        if (!dialect.lockScores.empty()) {
            connection.run(dialect.lockScores, {});
        }
        runAll(connection, kCountTables);
        runAll(connection, dialect.createCountingTriggers);
        runAll(connection, countBackfill(dialect));
    }
    if (version < 4) {
        runAll(connection, kReviewTables);
    }
    if (version < 5) {
        runAll(connection, kSubmissionKeys);
        runAll(connection, dialect.createPromptTake);
    }
    if (version < 6) {
        nameStoredChips(connection);
    }
    if (version < 7) {
        if (!dialect.lockScores.empty()) {
            connection.run(dialect.lockScores, {});
        }
        runAll(connection, dialect.dropCountingTriggers);
        runAll(connection, kMemoryTable);
        runAll(connection, dialect.createCountingTriggers);
    }
}

} // namespace service
