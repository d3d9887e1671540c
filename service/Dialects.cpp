#include "service/Sql.h"

#include <stdexcept>

namespace service {
namespace {

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

} // namespace

const Dialect& sqliteDialect() {
    static const Dialect dialect{
        "BEGIN IMMEDIATE",
        "",
        true,
        withIndexes(scoresTable("INTEGER PRIMARY KEY AUTOINCREMENT", "TEXT")),
        "received_at",
        "CAST((xcode_build_sec - ?) / ? AS INTEGER)",
    };
    return dialect;
}

const Dialect& postgresDialect() {
    static const Dialect dialect{
        "BEGIN",
        "SELECT pg_advisory_xact_lock(4711)",
        false,
        withIndexes(scoresTable("BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY", "TIMESTAMPTZ")),
        R"(to_char(received_at AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"'))",
        "CAST(floor((xcode_build_sec - ?) / ?) AS BIGINT)",
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

} // namespace service
