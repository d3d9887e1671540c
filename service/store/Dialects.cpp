#include "service/store/Sql.h"

#include <stdexcept>

namespace service {
namespace {

// How long a batch waits for a processor's count row that another
// transaction holds before that processor's submissions leave the batch to
// wait alone: far above the few milliseconds a batch holds the row.
constexpr const char* kPromptLockWait = "100ms";

// The columns both engines share; only the id and the time types differ.
std::string scoresTable(const std::string& idColumn, const std::string& timeType) {
    return "CREATE TABLE scores ("
           "id " +
           idColumn +
           ", "
           "received_at " +
           timeType +
           " NOT NULL, "
           "device_name TEXT NOT NULL, "
           "chip_type TEXT NOT NULL, "
           "ram_gb BIGINT NOT NULL, "
           "xcode_build_sec DOUBLE PRECISION NOT NULL, "
           "resin_slicer_sec DOUBLE PRECISION NOT NULL, "
           "max_temp_c BIGINT NOT NULL, "
           "swap_used_mb BIGINT NOT NULL)";
}

const std::vector<std::string> kIndexes = {
    "CREATE INDEX scores_by_time ON scores (xcode_build_sec)",
    "CREATE INDEX scores_by_chip_time ON scores (chip_type, xcode_build_sec)",
};

std::vector<std::string> withIndexes(std::string table) {
    std::vector<std::string> statements{std::move(table)};
    statements.insert(statements.end(), kIndexes.begin(), kIndexes.end());
    return statements;
}

// Adds `step` (1 or -1) to the processor's total, one to its changes, to its count of one memory
// size with that size's best time, and to its buckets of one second and of
// one millisecond. The total comes first: its row is where writers of one
// processor queue. A size's best is read again only when the record leaving
// could have been it, which is rare: operators delete, submissions add.
std::string countStatements(const std::string& chip, const std::string& ram,
                            const std::string& seconds, const std::string& millisecond,
                            const std::string& step) {
    const auto bucket = [&](const std::string& width, const std::string& index) {
        return "INSERT INTO time_buckets (chip_type, width_ms, bucket, records) VALUES (" + chip +
               ", " + width + ", " + index + ", " + step +
               ") ON CONFLICT (chip_type, width_ms, bucket) DO UPDATE SET records = "
               "time_buckets.records + excluded.records; ";
    };
    return "INSERT INTO chip_totals (chip_type, records, changes) VALUES (" + chip + ", " + step +
           ", 1) ON CONFLICT (chip_type) DO UPDATE SET records = chip_totals.records + "
           "excluded.records, changes = chip_totals.changes + 1; "
           "INSERT INTO chip_memory (chip_type, ram_gb, records, best) VALUES (" +
           chip + ", " + ram + ", " + step + ", " + seconds +
           ") ON CONFLICT (chip_type, ram_gb) DO UPDATE SET records = chip_memory.records + "
           "excluded.records, best = CASE WHEN excluded.records > 0 THEN CASE WHEN "
           "chip_memory.best IS NULL OR excluded.best < chip_memory.best THEN excluded.best ELSE "
           "chip_memory.best END WHEN chip_memory.best < excluded.best THEN chip_memory.best "
           "ELSE (SELECT MIN(xcode_build_sec) FROM scores WHERE chip_type = excluded.chip_type "
           "AND ram_gb = excluded.ram_gb) END; " +
           bucket("1000", millisecond + " / 1000") + bucket("1", millisecond);
}

std::string sqliteMillisecond(const std::string& column) {
    return "CAST(" + column + " * 1000 AS INTEGER)"; // times are positive: truncation is floor
}

std::string postgresMillisecond(const std::string& column) {
    return "CAST(floor(" + column + " * 1000) AS BIGINT)";
}

std::vector<std::string> sqliteTriggers() {
    const auto counted = [](const std::string& row, const std::string& step) {
        return countStatements(row + ".chip_type", row + ".ram_gb", row + ".xcode_build_sec",
                               sqliteMillisecond(row + ".xcode_build_sec"), step);
    };
    return {
        "CREATE TRIGGER scores_counted_insert AFTER INSERT ON scores BEGIN " + counted("NEW", "1") +
            "END",
        "CREATE TRIGGER scores_counted_delete AFTER DELETE ON scores BEGIN " +
            counted("OLD", "-1") + "END",
        "CREATE TRIGGER scores_counted_update AFTER UPDATE OF chip_type, ram_gb, xcode_build_sec "
        "ON scores BEGIN " +
            counted("OLD", "-1") + counted("NEW", "1") + "END",
    };
}

std::vector<std::string> postgresTriggers() {
    return {
        // PL/pgSQL keeps its plans; an SQL function would plan them on every row.
        "CREATE FUNCTION count_score(chip TEXT, ram BIGINT, seconds DOUBLE PRECISION, step "
        "BIGINT) RETURNS void LANGUAGE plpgsql AS $$ BEGIN " +
            countStatements("chip", "ram", "seconds", postgresMillisecond("seconds"), "step") +
            "END $$",
        "CREATE FUNCTION scores_counted() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
        "IF TG_OP <> 'INSERT' THEN "
        "PERFORM count_score(OLD.chip_type, OLD.ram_gb, OLD.xcode_build_sec, -1); END IF; "
        "IF TG_OP <> 'DELETE' THEN "
        "PERFORM count_score(NEW.chip_type, NEW.ram_gb, NEW.xcode_build_sec, 1); END IF; "
        "RETURN NULL; END $$",
        "CREATE TRIGGER scores_counted AFTER INSERT OR DELETE OR UPDATE OF chip_type, ram_gb, "
        "xcode_build_sec ON scores FOR EACH ROW EXECUTE FUNCTION scores_counted()",
    };
}

// Takes a processor's count row as Dialect::takeChip does, waiting for it
// at most `wait`: a lock timeout set for one statement, then the one before.
const std::string kTakeChip =
    "CREATE FUNCTION take_chip(chip TEXT, wait TEXT) RETURNS BIGINT LANGUAGE plpgsql AS $$ "
    "DECLARE before TEXT := current_setting('lock_timeout'); taken BIGINT; BEGIN "
    "PERFORM set_config('lock_timeout', wait, true); "
    "INSERT INTO chip_totals (chip_type, records) VALUES (chip, 0) ON CONFLICT (chip_type) DO "
    "UPDATE SET records = chip_totals.records RETURNING records INTO taken; "
    "PERFORM set_config('lock_timeout', before, true); RETURN taken; END $$";

} // namespace

const Dialect& sqliteDialect() {
    static const Dialect dialect{
        "BEGIN IMMEDIATE",
        "",
        kChipRecords,
        kChipRecords,
        withIndexes(scoresTable("INTEGER PRIMARY KEY AUTOINCREMENT", "TEXT")),
        "received_at",
        "CAST((xcode_build_sec - ?) / ? AS INTEGER)",
        {"PRAGMA busy_timeout = 3600000"},
        "", // BEGIN IMMEDIATE already holds the file's one write lock
        sqliteMillisecond,
        sqliteTriggers(),
        {"DROP TRIGGER IF EXISTS scores_counted_insert",
         "DROP TRIGGER IF EXISTS scores_counted_delete",
         "DROP TRIGGER IF EXISTS scores_counted_update"},
        "instr",
        {},
    };
    return dialect;
}

const Dialect& postgresDialect() {
    static const Dialect dialect{
        "BEGIN",
        "SELECT pg_advisory_xact_lock(4711)",
        // Made if missing, so that a processor's first records also queue here.
        "INSERT INTO chip_totals (chip_type, records) VALUES (?, 0) ON CONFLICT (chip_type) DO "
        "UPDATE SET records = chip_totals.records RETURNING records",
        "SELECT take_chip(?, '" + std::string(kPromptLockWait) + "')",
        withIndexes(scoresTable("BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY", "TIMESTAMPTZ")),
        R"(to_char(received_at AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"'))",
        "CAST(floor((xcode_build_sec - ?) / ?) AS BIGINT)",
        // An hour bounds each statement, the wait for another instance's
        // migration included; the rest of start-up waits for nothing longer.
        {"SET statement_timeout = '1h'", "SET lock_timeout = 0"},
        "LOCK TABLE scores IN SHARE ROW EXCLUSIVE MODE",
        postgresMillisecond,
        postgresTriggers(),
        {"DROP TRIGGER IF EXISTS scores_counted ON scores",
         "DROP FUNCTION IF EXISTS scores_counted()",
         "DROP FUNCTION IF EXISTS count_score(TEXT, DOUBLE PRECISION, BIGINT)",
         "DROP FUNCTION IF EXISTS count_score(TEXT, BIGINT, DOUBLE PRECISION, BIGINT)"},
        "strpos",
        {kTakeChip},
        "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY",
        " OVERRIDING SYSTEM VALUE",
    };
    return dialect;
}

std::int64_t asInteger(const SqlValue& value) {
    if (const auto* integer = std::get_if<std::int64_t>(&value)) {
        return *integer;
    }
    if (const auto* number = std::get_if<double>(&value)) {
        return static_cast<std::int64_t>(*number);
    }
    if (std::holds_alternative<std::nullptr_t>(value)) {
        return 0;
    }
    throw std::runtime_error("expected an integer column");
}

double asNumber(const SqlValue& value) {
    if (const auto* number = std::get_if<double>(&value)) {
        return *number;
    }
    if (const auto* integer = std::get_if<std::int64_t>(&value)) {
        return static_cast<double>(*integer);
    }
    throw std::runtime_error("expected a number column");
}

std::string asText(const SqlValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
        return *text;
    }
    throw std::runtime_error("expected a text column");
}

std::string asTextOrEmpty(const SqlValue& value) {
    return std::holds_alternative<std::nullptr_t>(value) ? std::string() : asText(value);
}

} // namespace service
