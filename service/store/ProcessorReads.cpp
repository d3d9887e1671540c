#include "service/store/ProcessorReads.h"

#include "service/store/PageReads.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace service {
namespace {

// Up to this many results, a processor's times are read whole in one statement.
constexpr std::int64_t kReadWhole = 64;

Spread readSpread(SqlConnection& connection, const Dialect& dialect, const std::string& chip,
                  std::int64_t count) {
    if (count <= kReadWhole) {
        std::vector<double> times;
        for (const auto& row : connection.run("SELECT xcode_build_sec FROM scores WHERE "
                                              "chip_type = ? ORDER BY xcode_build_sec",
                                              {chip})) {
            times.push_back(asNumber(row.at(0)));
        }
        if (static_cast<std::int64_t>(times.size()) != count) {
            throw std::runtime_error("the count of " + chip + " disagrees with its results");
        }
        return spreadOf(count,
                        [&](std::int64_t k) { return times.at(static_cast<std::size_t>(k)); });
    }
    std::map<std::int64_t, double> read;
    return spreadOf(count, [&](std::int64_t k) {
        const auto found = read.find(k);
        return found != read.end() ? found->second
                                   : read[k] = readKthTime(connection, dialect, chip, k);
    });
}

// The list's order; ties by name, so that pages never overlap.
bool before(ProcessorOrder order, const ProcessorRow& a, const std::string& aName,
            const ProcessorRow& b, const std::string& bName) {
    if (order == ProcessorOrder::median && a.spread.median != b.spread.median) {
        return a.spread.median < b.spread.median;
    }
    if (order == ProcessorOrder::count && a.spread.count != b.spread.count) {
        return a.spread.count > b.spread.count;
    }
    return aName != bName ? aName < bName : a.chip < b.chip;
}

const std::string kMostResults = "SELECT chip_type, records, changes FROM chip_totals WHERE "
                                 "records > 0 ORDER BY records DESC, chip_type LIMIT ?";

// Orders by median or count break ties by the name as stored, and need no
// folded names: on PostgreSQL the join is most of the statement's time.
const std::string kCounts = "SELECT chip_type, records, chip_type, changes FROM chip_totals WHERE "
                            "records > 0";

const std::string kAllCounts = "SELECT t.chip_type, t.records, COALESCE(n.folded, t.chip_type), "
                               "t.changes "
                               "FROM chip_totals t LEFT JOIN chip_names n ON n.chip_type = "
                               "t.chip_type WHERE t.records > 0";

// A search scans the names and looks up the counts of those found, not the
// other way round: a third of the time at 100,000 names. A name of no
// processor on the board is found and left out; one an older service stored
// without its folded name could not be found either way.
const std::string kSearched =
    "SELECT t.chip_type, t.records, n.folded, t.changes FROM chip_names n "
    "JOIN chip_totals t ON t.chip_type = n.chip_type WHERE t.records > 0 "
    "AND ";

} // namespace

// A processor an older service stored goes by its name as it is.
const std::string kChipsFolding =
    "SELECT t.chip_type FROM chip_totals t LEFT JOIN chip_names n ON n.chip_type = t.chip_type "
    "WHERE t.records > 0 AND COALESCE(n.folded, t.chip_type) = ?";

std::vector<std::string> readChipsFolding(SqlConnection& connection, const std::string& folded) {
    std::vector<std::string> chips;
    for (const auto& row : connection.run(kChipsFolding + " ORDER BY t.chip_type", {folded})) {
        chips.push_back(asText(row.at(0)));
    }
    return chips;
}

const std::string kNameChip = "INSERT INTO chip_names (chip_type, folded) VALUES (?, ?) ON "
                              "CONFLICT (chip_type) DO NOTHING";

void nameChips(SqlConnection& connection, const std::vector<std::string>& chips) {
    for (const auto& chip : chips) {
        connection.run(kNameChip, {chip, foldName(chip)});
    }
}

Tally readTally(SqlConnection& connection, const std::string& chip) {
    const auto rows =
        connection.run("SELECT records, changes FROM chip_totals WHERE chip_type = ?", {chip});
    return rows.empty() ? Tally{} : Tally{asInteger(rows[0].at(0)), asInteger(rows[0].at(1))};
}

Spread ProcessorSpreads::read(SqlConnection& connection, const Dialect& dialect,
                              const std::string& chip, Tally tally) {
    const auto holds = [&](const Known& known) {
        return known.value.count == tally.records && known.changes == tally.changes;
    };
    return known_
        .get(chip, holds,
             [&] {
                 return Known{readSpread(connection, dialect, chip, tally.records), tally.changes};
             })
        .value;
}

std::vector<ChipSummary> ProcessorSpreads::mostResults(SqlConnection& connection,
                                                       const Dialect& dialect, int limit) {
    std::vector<ChipSummary> result;
    for (const auto& row : connection.run(kMostResults, {std::int64_t{limit}})) {
        const auto chip = asText(row.at(0));
        const auto spread =
            read(connection, dialect, chip, Tally{asInteger(row.at(1)), asInteger(row.at(2))});
        result.push_back(ChipSummary{chip, spread.best, spread.median, spread.count});
    }
    return result;
}

ProcessorList ProcessorSpreads::list(SqlConnection& connection, const Dialect& dialect,
                                     const ProcessorQuery& query) {
    std::vector<std::pair<ProcessorRow, std::string>> all;
    ProcessorList result;
    const auto rows =
        query.search.empty()
            ? connection.run(query.order == ProcessorOrder::name ? kAllCounts : kCounts, {})
            : connection.run(kSearched + dialect.textContains + "(n.folded, ?) > 0",
                             {query.search});
    for (const auto& row : rows) {
        const auto chip = asText(row.at(0));
        ProcessorRow found{chip, read(connection, dialect, chip,
                                      Tally{asInteger(row.at(1)), asInteger(row.at(3))})};
        const double median = found.spread.median;
        result.fastestMedian = all.empty() ? median : std::min(result.fastestMedian, median);
        all.emplace_back(std::move(found), asText(row.at(2)));
    }
    std::sort(all.begin(), all.end(), [&](const auto& a, const auto& b) {
        return before(query.order, a.first, a.second, b.first, b.second);
    });
    result.total = static_cast<std::int64_t>(all.size());
    const auto first = std::min<std::int64_t>(query.offset, result.total);
    const auto last = std::min<std::int64_t>(first + query.limit, result.total);
    for (auto i = first; i < last; ++i) {
        result.rows.push_back(std::move(all[static_cast<std::size_t>(i)].first));
    }
    return result;
}

std::vector<MemoryRow> readByMemory(SqlConnection& connection, const std::string& chip) {
    std::vector<MemoryRow> rows;
    for (const auto& row :
         connection.run("SELECT ram_gb, records, best FROM chip_memory WHERE chip_type = ? AND "
                        "records > 0 ORDER BY ram_gb",
                        {chip})) {
        rows.push_back(MemoryRow{asInteger(row.at(0)), asInteger(row.at(1)), asNumber(row.at(2))});
    }
    return rows;
}

std::int64_t readHeld(SqlConnection& connection, const std::string& chip) {
    return asInteger(
        connection
            .run("SELECT COUNT(*) FROM withheld WHERE chip_type = ? AND state = 'held'", {chip})
            .at(0)
            .at(0));
}

} // namespace service
