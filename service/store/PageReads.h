#pragma once

#include "service/store/Memo.h"
#include "service/store/ScoreStore.h"
#include "service/store/Sql.h"

#include <chrono>
#include <optional>

namespace service {

// The leaderboard's aggregates, read from the counts the triggers keep per
// processor, second and millisecond, so that none scans a processor's
// results. Each runs a few statements on `connection`, in whatever
// transaction it has open. They throw as the connection does.

// The whole millisecond a time is filed under, as the triggers compute it.
std::int64_t millisecond(double seconds);
// The processor's times below `time` inside its own second, as two SQL
// subqueries (the milliseconds below it in its second, a walk of its own
// millisecond along the index) and their values: a placement and a
// distribution count alike.
std::string belowInSecondTerms(const Dialect& dialect);
std::vector<SqlValue> belowInSecondValues(const std::string& chip, double time);

// The processor's `k`-th time (from 0, so fewer than its total): whole
// seconds, then milliseconds inside the second, then a walk of one
// millisecond's records along the index.
double readKthTime(SqlConnection& connection, const Dialect& dialect, const std::string& chip,
                   std::int64_t k);
// How many records there are, of one processor when `chip` is set.
std::int64_t readRecords(SqlConnection& connection, const std::optional<std::string>& chip);
// The processor's times in `bins` equal bins between its outlier fences, and
// how many lie below and above them.
Distribution readDistribution(SqlConnection& connection, const Dialect& dialect,
                              const std::string& chip, int bins);
// Two processors' distributions in the same `bins`, which span both their
// ranges between the fences, so that the two can be drawn on one axis.
std::pair<Distribution, Distribution> readDistributions(SqlConnection& connection,
                                                        const Dialect& dialect,
                                                        const std::string& a, const std::string& b,
                                                        int bins);

} // namespace service
