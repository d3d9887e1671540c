#include "service/PageReads.h"

#include <cmath>
#include <stdexcept>

namespace service {
namespace {

// The whole millisecond a time is filed under, as the triggers compute it.
std::int64_t millisecond(double seconds) {
    return static_cast<std::int64_t>(std::floor(seconds * 1000.0));
}

// The `k`-th time (from 0): whole seconds, then milliseconds inside the
// second, then a walk of one millisecond's records along the index.
double kthTime(SqlConnection& connection, const Dialect& dialect, const std::string& chip,
               std::int64_t k) {
    const auto second = locate(connection.run("SELECT bucket, records FROM time_buckets WHERE "
                                              "chip_type = ? AND width_ms = 1000 AND records > 0 "
                                              "ORDER BY bucket",
                                              {chip}),
                               k);
    if (!second) {
        throw std::runtime_error("the counts of " + chip + " disagree with its total");
    }
    const auto ms =
        locate(connection.run("SELECT bucket, records FROM time_buckets WHERE "
                              "chip_type = ? AND width_ms = 1 AND bucket >= ? AND "
                              "bucket < ? AND records > 0 ORDER BY bucket",
                              {chip, second->first * 1000, second->first * 1000 + 1000}),
               second->second);
    if (!ms) {
        throw std::runtime_error("the counts of " + chip + " disagree between widths");
    }
    // A range a little wider than the millisecond finds its records on the
    // index; the exact test is the triggers' own rounding.
    const auto rows = connection.run(
        "SELECT xcode_build_sec FROM scores WHERE chip_type = ? AND xcode_build_sec >= ? AND "
        "xcode_build_sec < ? AND " +
            dialect.millisecondOf("xcode_build_sec") +
            " = ? ORDER BY xcode_build_sec LIMIT 1 OFFSET ?",
        {chip, static_cast<double>(ms->first - 1) / 1000.0,
         static_cast<double>(ms->first + 2) / 1000.0, ms->first, ms->second});
    return asNumber(rows.at(0).at(0));
}

// How many of the processor's times are below `time`, given how many are in
// the whole seconds below it: the milliseconds below it in its second, and a
// walk of its own millisecond.
std::int64_t countBelow(SqlConnection& connection, const Dialect& dialect, const std::string& chip,
                        double time, std::int64_t inSecondsBelow) {
    const auto ms = millisecond(time);
    const auto rows = connection.run(
        "SELECT (SELECT COALESCE(SUM(records), 0) FROM time_buckets WHERE chip_type = ? AND "
        "width_ms = 1 AND bucket >= ? AND bucket < ?), "
        "(SELECT COUNT(*) FROM scores WHERE chip_type = ? AND xcode_build_sec < ? AND "
        "xcode_build_sec >= ? AND " +
            dialect.millisecondOf("xcode_build_sec") + " = ?)",
        {chip, ms - ms % 1000, ms, chip, time, static_cast<double>(ms - 1) / 1000.0, ms});
    return inSecondsBelow + asInteger(rows.at(0).at(0)) + asInteger(rows.at(0).at(1));
}

} // namespace

std::optional<std::pair<std::int64_t, std::int64_t>> locate(const std::vector<SqlRow>& buckets,
                                                            std::int64_t k) {
    for (const auto& row : buckets) {
        const auto records = asInteger(row.at(1));
        if (k < records) {
            return std::make_pair(asInteger(row.at(0)), k);
        }
        k -= records;
    }
    return std::nullopt;
}

std::vector<std::pair<std::string, std::int64_t>> readChipCounts(SqlConnection& connection,
                                                                 int limit) {
    const auto rows = connection.run("SELECT chip_type, records FROM chip_totals WHERE records > 0 "
                                     "ORDER BY records DESC, chip_type LIMIT ?",
                                     {std::int64_t{limit}});
    std::vector<std::pair<std::string, std::int64_t>> counts;
    counts.reserve(rows.size());
    for (const auto& row : rows) {
        counts.emplace_back(asText(row.at(0)), asInteger(row.at(1)));
    }
    return counts;
}

ChipSummary readChipSummary(SqlConnection& connection, const Dialect& dialect,
                            const std::string& chip, std::int64_t count) {
    const auto lower = kthTime(connection, dialect, chip, (count - 1) / 2);
    const auto median =
        count % 2 != 0 ? lower : (lower + kthTime(connection, dialect, chip, count / 2)) / 2.0;
    const auto best =
        connection.run("SELECT MIN(xcode_build_sec) FROM scores WHERE chip_type = ?", {chip});
    return ChipSummary{chip, asNumber(best.at(0).at(0)), median, count};
}

std::vector<ChipSummary> ChipSummaries::read(SqlConnection& connection, const Dialect& dialect) {
    const auto now = std::chrono::steady_clock::now();
    std::vector<ChipSummary> result;
    for (const auto& [chip, count] : readChipCounts(connection, kMaxChips)) {
        {
            const std::lock_guard lock(mutex_);
            const auto it = known_.find(chip);
            if (it != known_.end() && it->second.value.count == count &&
                now - it->second.at < kMaxAge) {
                result.push_back(it->second.value);
                continue;
            }
        }
        result.push_back(readChipSummary(connection, dialect, chip, count));
        const std::lock_guard lock(mutex_);
        if (known_.size() >= 2 * kMaxChips) {
            known_.clear(); // processors that left the list
        }
        known_.insert_or_assign(chip, Known{result.back(), now});
    }
    return result;
}

Distribution readDistribution(SqlConnection& connection, const Dialect& dialect,
                              const std::string& chip, int bins) {
    // Two lone MIN and MAX, which SQLite reads from the index ends; in one
    // SELECT it scans every record of the processor.
    const auto range =
        connection.run("SELECT (SELECT MIN(xcode_build_sec) FROM scores WHERE chip_type = ?), "
                       "(SELECT MAX(xcode_build_sec) FROM scores WHERE chip_type = ?), "
                       "(SELECT records FROM chip_totals WHERE chip_type = ?)",
                       {chip, chip, chip});
    Distribution result;
    if (std::holds_alternative<std::nullptr_t>(range.at(0).at(0)) || bins < 1) {
        return result;
    }
    result.low = asNumber(range[0][0]);
    const double span = asNumber(range[0][1]) - result.low;
    result.binWidth = span > 0.0 ? span / bins : 1.0;
    if (result.binWidth >= 1.0) {
        // Edges on whole seconds: a bin's count then needs no walk through the
        // milliseconds of the seconds its edges fall in.
        result.low = std::floor(result.low);
        result.binWidth = std::ceil((asNumber(range[0][1]) - result.low) / bins);
    }
    result.counts.assign(static_cast<std::size_t>(bins), 0);
    const auto seconds = connection.run("SELECT bucket, records FROM time_buckets WHERE "
                                        "chip_type = ? AND width_ms = 1000 AND records > 0 "
                                        "ORDER BY bucket",
                                        {chip});
    // Each bin holds the times below its upper edge less those below its lower
    // one; the last also holds the worst time, on its upper edge.
    std::int64_t below = 0;
    std::size_t next = 0;
    std::int64_t inSecondsBelow = 0;
    for (int bin = 0; bin < bins; ++bin) {
        const double edge = result.low + (bin + 1) * result.binWidth;
        for (; next < seconds.size() && asInteger(seconds[next].at(0)) < millisecond(edge) / 1000;
             ++next) {
            inSecondsBelow += asInteger(seconds[next].at(1));
        }
        const auto upTo = bin + 1 == bins
                              ? asInteger(range[0][2])
                              : countBelow(connection, dialect, chip, edge, inSecondsBelow);
        result.counts[static_cast<std::size_t>(bin)] = upTo - below;
        below = upTo;
    }
    return result;
}

} // namespace service
