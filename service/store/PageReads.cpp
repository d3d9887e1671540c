#include "service/store/PageReads.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace service {
namespace {

constexpr double kMinBinWidth = 0.001;

std::int64_t countBelow(SqlConnection& connection, const Dialect& dialect, const std::string& chip,
                        double time, std::int64_t inSecondsBelow) {
    const auto rows =
        connection.run("SELECT " + belowInSecondTerms(dialect), belowInSecondValues(chip, time));
    return inSecondsBelow + asInteger(rows.at(0).at(0)) + asInteger(rows.at(0).at(1));
}

std::vector<SqlRow> secondBuckets(SqlConnection& connection, const std::string& chip) {
    return connection.run("SELECT bucket, records FROM time_buckets WHERE chip_type = ? AND "
                          "width_ms = 1000 AND records > 0 ORDER BY bucket",
                          {chip});
}

// How many of the processor's times are below `time`, from its whole seconds
// (given in order) and the millisecond walk.
std::int64_t countBelow(SqlConnection& connection, const Dialect& dialect, const std::string& chip,
                        double time, const std::vector<SqlRow>& seconds) {
    std::int64_t inSecondsBelow = 0;
    for (const auto& row : seconds) {
        if (asInteger(row.at(0)) >= millisecond(time) / 1000) {
            break;
        }
        inSecondsBelow += asInteger(row.at(1));
    }
    return countBelow(connection, dialect, chip, time, inSecondsBelow);
}

// The lowest or highest time on the inner side of a fence, read from an index end.
double bound(SqlConnection& connection, const std::string& chip, const char* aggregate,
             const char* comparison, double fence) {
    return asNumber(connection
                        .run(std::string("SELECT ") + aggregate +
                                 "(xcode_build_sec) FROM scores WHERE chip_type = ? AND "
                                 "xcode_build_sec " +
                                 comparison + " ?",
                             {chip, fence})
                        .at(0)
                        .at(0));
}

// Where `bins` equal bins from `low` to `high` start, and how wide they are.
void placeBins(Distribution& result, double low, double high, int bins) {
    result.low = low;
    // Never narrower than the millisecond the counts are kept in, so that a
    // tiny or zero spread still gives bins of a width that can be drawn.
    result.binWidth = std::max((high - low) / bins, kMinBinWidth);
    if (result.binWidth >= 1.0) {
        // Edges on whole seconds: a bin's count then needs no walk through the
        // milliseconds of the seconds its edges fall in.
        result.low = std::floor(low);
        result.binWidth = std::max(std::ceil((high - result.low) / bins), 1.0);
    }
}

// Times outside these, given a processor's quartiles, are too far out to
// bin: a distribution counts them beside its bins.
std::pair<double, double> outlierFences(double q1, double q3) {
    // Tukey's far-out fences, three spreads past the quartiles; the spread is
    // at least 1 % of the upper quartile, so that identical times do not
    // close the range around them.
    const double spread = std::max(q3 - q1, 0.01 * q3);
    return {q1 - 3 * spread, q3 + 3 * spread};
}

// Where the `k`-th record (from 0) lies among buckets given in order as rows
// of (bucket, records): the bucket and the record's place inside it; nothing
// when there are k or fewer records.
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

} // namespace

std::int64_t millisecond(double seconds) {
    return static_cast<std::int64_t>(std::floor(seconds * 1000.0));
}

std::string belowInSecondTerms(const Dialect& dialect) {
    return "(SELECT COALESCE(SUM(records), 0) FROM time_buckets WHERE chip_type = ? AND "
           "width_ms = 1 AND bucket >= ? AND bucket < ?), "
           "(SELECT COUNT(*) FROM scores WHERE chip_type = ? AND xcode_build_sec < ? AND "
           "xcode_build_sec >= ? AND " +
           dialect.millisecondOf("xcode_build_sec") + " = ?)";
}

std::vector<SqlValue> belowInSecondValues(const std::string& chip, double time) {
    const auto ms = millisecond(time);
    return {chip, ms - ms % 1000, ms, chip, time, static_cast<double>(ms - 1) / 1000.0, ms};
}

double readKthTime(SqlConnection& connection, const Dialect& dialect, const std::string& chip,
                   std::int64_t k) {
    const auto second = locate(secondBuckets(connection, chip), k);
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

std::int64_t readRecords(SqlConnection& connection, const std::optional<std::string>& chip) {
    const auto rows =
        chip ? connection.run(kChipRecords, {*chip})
             : connection.run("SELECT CAST(COALESCE(SUM(records), 0) AS BIGINT) FROM chip_totals",
                              {});
    return rows.empty() ? 0 : asInteger(rows[0].at(0));
}

namespace {

// The lowest and highest of the processor's `n` times inside its outlier
// fences. The quartiles lean outwards, so that a few results are all binned;
// the ends are read from the index.
std::pair<double, double> binnedRange(SqlConnection& connection, const Dialect& dialect,
                                      const std::string& chip, std::int64_t n) {
    const auto fences =
        outlierFences(readKthTime(connection, dialect, chip, (n - 1) / 4),
                      readKthTime(connection, dialect, chip, (3 * (n - 1) + 3) / 4));
    return {bound(connection, chip, "MIN", ">=", fences.first),
            bound(connection, chip, "MAX", "<=", fences.second)};
}

// The processor's `n` times counted in the bins of `grid`, whose times to bin
// reach up to `high`.
Distribution countIn(SqlConnection& connection, const Dialect& dialect, const std::string& chip,
                     std::int64_t n, const Distribution& grid, double high) {
    Distribution result{grid.low, grid.binWidth, {}, 0, 0};
    const auto bins = static_cast<int>(grid.counts.size());
    // Counted against the edges drawn, which may lie outside the times binned:
    // a time between an edge and its fence is in the bin it is drawn in.
    const double top = std::max(high, result.low + bins * result.binWidth);
    const auto seconds = secondBuckets(connection, chip);
    result.below = countBelow(connection, dialect, chip, result.low, seconds);
    const auto upToTop =
        countBelow(connection, dialect, chip, std::nextafter(top, top + 1.0), seconds);
    result.above = n - upToTop;
    result.counts.assign(static_cast<std::size_t>(bins), 0);
    // Each bin holds the times below its upper edge less those below its lower
    // one; the last also holds the highest binned time, on its upper edge.
    std::int64_t below = result.below;
    for (int bin = 0; bin < bins; ++bin) {
        const double edge = result.low + (bin + 1) * result.binWidth;
        const auto upTo = bin + 1 == bins || edge > top
                              ? upToTop
                              : countBelow(connection, dialect, chip, edge, seconds);
        result.counts[static_cast<std::size_t>(bin)] = upTo - below;
        below = upTo;
    }
    return result;
}

// `bins` equal bins over `low` to `high`.
Distribution gridOf(double low, double high, int bins) {
    Distribution grid;
    placeBins(grid, low, high, bins);
    grid.counts.assign(static_cast<std::size_t>(bins), 0);
    return grid;
}

} // namespace

Distribution readDistribution(SqlConnection& connection, const Dialect& dialect,
                              const std::string& chip, int bins) {
    const auto n = readRecords(connection, chip);
    if (n == 0 || bins < 1) {
        return {};
    }
    const auto [low, high] = binnedRange(connection, dialect, chip, n);
    return countIn(connection, dialect, chip, n, gridOf(low, high, bins), high);
}

std::pair<Distribution, Distribution> readDistributions(SqlConnection& connection,
                                                        const Dialect& dialect,
                                                        const std::string& a, const std::string& b,
                                                        int bins) {
    const auto n = std::make_pair(readRecords(connection, a), readRecords(connection, b));
    if (n.first == 0 || n.second == 0 || bins < 1) {
        return {};
    }
    const auto rangeA = binnedRange(connection, dialect, a, n.first);
    const auto rangeB = binnedRange(connection, dialect, b, n.second);
    const double low = std::min(rangeA.first, rangeB.first);
    const double high = std::max(rangeA.second, rangeB.second);
    const auto grid = gridOf(low, high, bins);
    return {countIn(connection, dialect, a, n.first, grid, high),
            countIn(connection, dialect, b, n.second, grid, high)};
}

} // namespace service
