#include "service/ReviewSql.h"

namespace service {
namespace {

constexpr std::int64_t kStaleShare = 20; // refresh after growing by 1/20

void adjustCount(SqlConnection& connection, std::int64_t id, const char* table, int delta) {
    connection.run(std::string("UPDATE chip_counts SET records = records + ? WHERE chip_type = "
                               "(SELECT chip_type FROM ") +
                       table + " WHERE id = ?)",
                   {std::int64_t{delta}, id});
}

double quantile(SqlConnection& connection, const std::string& chip, std::int64_t offset) {
    const auto rows = connection.run("SELECT xcode_build_sec FROM scores WHERE chip_type = ? "
                                     "ORDER BY xcode_build_sec LIMIT 1 OFFSET ?",
                                     {chip, offset});
    return rows.empty() ? 0.0 : asNumber(rows[0][0]);
}

} // namespace

const std::string kRecordColumns =
    "id, received_at, device_name, chip_type, ram_gb, xcode_build_sec, resin_slicer_sec, "
    "max_temp_c, swap_used_mb, client_product, client_version, review_reason, review_figures";

const std::vector<std::string>& reviewSchema() {
    static const std::vector<std::string> statements = {
        "ALTER TABLE scores ADD COLUMN client_product TEXT",
        "ALTER TABLE scores ADD COLUMN client_version TEXT",
        "ALTER TABLE scores ADD COLUMN review_reason TEXT",
        "ALTER TABLE scores ADD COLUMN review_figures TEXT",
        "CREATE TABLE withheld AS SELECT * FROM scores WHERE 1 = 0",
        "ALTER TABLE withheld ADD COLUMN state TEXT NOT NULL DEFAULT 'held'",
        "CREATE UNIQUE INDEX withheld_by_id ON withheld (id)",
        std::string("CREATE TABLE review_figures (chip_type TEXT PRIMARY KEY, ") +
            "records BIGINT NOT NULL, q1 DOUBLE PRECISION NOT NULL, " +
            "median DOUBLE PRECISION NOT NULL, q3 DOUBLE PRECISION NOT NULL)",
    };
    return statements;
}

ReviewFigures reviewFigures(SqlConnection& connection, const std::string& chip,
                            std::int64_t records) {
    ReviewFigures figures;
    figures.records = records;
    if (records < kReviewMinRecords) {
        // The lone MIN is read from the end of the time index.
        const auto rows = connection.run("SELECT MIN(xcode_build_sec) FROM scores", {});
        figures.boardFastest =
            std::holds_alternative<std::nullptr_t>(rows.at(0).at(0)) ? 0.0 : asNumber(rows[0][0]);
        return figures;
    }
    const auto kept = connection.run(
        "SELECT records, q1, median, q3 FROM review_figures WHERE chip_type = ?", {chip});
    if (!kept.empty() && records <= asInteger(kept[0][0]) + asInteger(kept[0][0]) / kStaleShare) {
        return ReviewFigures{records, asNumber(kept[0][1]), asNumber(kept[0][2]),
                             asNumber(kept[0][3]), 0.0};
    }
    // Each walks the (chip, time) index up to its offset, once per twentieth of growth.
    figures.q1 = quantile(connection, chip, (records - 1) / 4);
    figures.median = quantile(connection, chip, (records - 1) / 2);
    figures.q3 = quantile(connection, chip, 3 * (records - 1) / 4);
    connection.run("INSERT INTO review_figures (chip_type, records, q1, median, q3) VALUES (?, ?, "
                   "?, ?, ?) ON CONFLICT (chip_type) DO UPDATE SET records = excluded.records, "
                   "q1 = excluded.q1, median = excluded.median, q3 = excluded.q3",
                   {chip, records, figures.q1, figures.median, figures.q3});
    return figures;
}

void moveOffBoard(SqlConnection& connection, std::int64_t id, const char* state, bool counted) {
    if (counted) {
        adjustCount(connection, id, "scores", -1);
    }
    connection.run("INSERT INTO withheld (" + kRecordColumns + ", state) SELECT " + kRecordColumns +
                       ", ? FROM scores WHERE id = ?",
                   {std::string(state), id});
    connection.run("DELETE FROM scores WHERE id = ?", {id});
}

void moveOnBoard(SqlConnection& connection, const Dialect& dialect, std::int64_t id) {
    // PostgreSQL generates ids itself unless told that this one is kept.
    const std::string keepId = &dialect == &postgresDialect() ? " OVERRIDING SYSTEM VALUE" : "";
    connection.run("INSERT INTO chip_counts (chip_type, records) SELECT chip_type, 0 FROM "
                   "withheld WHERE id = ? ON CONFLICT (chip_type) DO NOTHING",
                   {id});
    adjustCount(connection, id, "withheld", 1);
    connection.run("INSERT INTO scores (" + kRecordColumns + ")" + keepId + " SELECT " +
                       kRecordColumns + " FROM withheld WHERE id = ?",
                   {id});
    connection.run("DELETE FROM withheld WHERE id = ?", {id});
}

void removeRecord(SqlConnection& connection, std::int64_t id) {
    adjustCount(connection, id, "scores", -1);
    connection.run("DELETE FROM scores WHERE id = ?", {id});
    connection.run("DELETE FROM withheld WHERE id = ?", {id});
}

} // namespace service
