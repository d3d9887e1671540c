#include "service/ReviewSql.h"

#include "service/PageReads.h"

namespace service {
const std::string kRecordColumns =
    "id, received_at, device_name, chip_type, ram_gb, xcode_build_sec, resin_slicer_sec, "
    "max_temp_c, swap_used_mb, client_product, client_version, review_reason, review_figures";

ReviewFigures reviewFigures(SqlConnection& connection, const Dialect& dialect,
                            const std::string& chip, std::int64_t records) {
    ReviewFigures figures;
    figures.records = records;
    if (records < kReviewMinRecords) {
        // The lone MIN is read from the end of the time index.
        const auto rows = connection.run("SELECT MIN(xcode_build_sec) FROM scores", {});
        figures.boardFastest =
            std::holds_alternative<std::nullptr_t>(rows.at(0).at(0)) ? 0.0 : asNumber(rows[0][0]);
        return figures;
    }
    // From the kept counts, so a few statements at any size.
    const auto at = [&](std::int64_t k) { return readKthTime(connection, dialect, chip, k); };
    figures.q1 = at((records - 1) / 4);
    figures.median = at((records - 1) / 2);
    figures.q3 = at(3 * (records - 1) / 4);
    return figures;
}

// The triggers on `scores` keep every count as records leave and return.
void moveOffBoard(SqlConnection& connection, std::int64_t id, const char* state) {
    connection.run("INSERT INTO withheld (" + kRecordColumns + ", state) SELECT " + kRecordColumns +
                       ", ? FROM scores WHERE id = ?",
                   {std::string(state), id});
    connection.run("DELETE FROM scores WHERE id = ?", {id});
}

void moveOnBoard(SqlConnection& connection, const Dialect& dialect, std::int64_t id) {
    // PostgreSQL generates ids itself unless told that this one is kept.
    const std::string keepId = &dialect == &postgresDialect() ? " OVERRIDING SYSTEM VALUE" : "";
    connection.run("INSERT INTO scores (" + kRecordColumns + ")" + keepId + " SELECT " +
                       kRecordColumns + " FROM withheld WHERE id = ?",
                   {id});
    connection.run("DELETE FROM withheld WHERE id = ?", {id});
}

void removeRecord(SqlConnection& connection, std::int64_t id) {
    connection.run("DELETE FROM scores WHERE id = ?", {id});
    connection.run("DELETE FROM withheld WHERE id = ?", {id});
}

} // namespace service
