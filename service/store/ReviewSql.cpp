#include "service/store/ReviewSql.h"

#include "service/store/PageReads.h"
#include "service/store/RecordColumns.h"

#include <cstdlib>

namespace service {

ReviewFigures ReviewFigureSource::read(SqlConnection& connection, const Dialect& dialect,
                                       const std::string& chip, std::int64_t records) {
    ReviewFigures figures;
    figures.records = records;
    if (records < kReviewMinRecords) {
        // A short walk from the end of the time index.
        std::vector<double> shortest;
        for (const auto& row :
             connection.run("SELECT xcode_build_sec FROM scores ORDER BY xcode_build_sec LIMIT ?",
                            {kReviewBoardTimes})) {
            shortest.push_back(asNumber(row.at(0)));
        }
        figures.boardReference = boardReference(shortest);
        return figures;
    }
    const auto holds = [records](const Quartiles& kept) { return holdsFor(records, kept.records); };
    const auto at = [&](std::int64_t k) { return readKthTime(connection, dialect, chip, k); };
    const auto read = known_.get(chip, holds, [&] {
        return Quartiles{records, at((records - 1) / 4), at((records - 1) / 2),
                         at(3 * (records - 1) / 4)};
    });
    return ReviewFigures{records, read.q1, read.median, read.q3, 0.0};
}

std::optional<ReviewFigures> ReviewFigureSource::kept(const std::string& chip,
                                                      std::int64_t records) {
    if (records < kReviewMinRecords) {
        return std::nullopt;
    }
    const auto found = known_.find(
        chip, [records](const Quartiles& kept) { return holdsFor(records, kept.records); });
    if (!found) {
        return std::nullopt;
    }
    return ReviewFigures{records, found->q1, found->median, found->q3, 0.0};
}

bool ReviewFigureSource::holdsFor(std::int64_t records, std::int64_t kept) {
    return kept > 0 && std::abs(records - kept) <= kept / 20;
}

// The triggers on `scores` keep every count as records leave and return.
void moveOffBoard(SqlConnection& connection, std::int64_t id, const char* state) {
    connection.run("INSERT INTO withheld (" + kRecordColumns + ", state) SELECT " + kRecordColumns +
                       ", ? FROM scores WHERE id = ?",
                   {std::string(state), id});
    connection.run("DELETE FROM scores WHERE id = ?", {id});
}

void moveOnBoard(SqlConnection& connection, const Dialect& dialect, std::int64_t id) {
    connection.run("INSERT INTO scores (" + kRecordColumns + ")" + dialect.keepGivenIds +
                       " SELECT " + kRecordColumns + " FROM withheld WHERE id = ?",
                   {id});
    connection.run("DELETE FROM withheld WHERE id = ?", {id});
}

void removeRecord(SqlConnection& connection, std::int64_t id) {
    connection.run("DELETE FROM scores WHERE id = ?", {id});
    connection.run("DELETE FROM withheld WHERE id = ?", {id});
}

} // namespace service
