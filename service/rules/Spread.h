#pragma once
// How a processor's results are summarised on the pages, in the API and in a
// submission's reply: one definition for all of them.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace service {

// Its public results: how many, the best, and the 10th, 25th, 50th, 75th and
// 90th percentiles. A percentile lies between the two nearest ranks, in
// proportion, so the median of an even count is the mean of the middle two.
struct Spread {
    std::int64_t count = 0;
    double best = 0.0;
    double p10 = 0.0;
    double q1 = 0.0;
    double median = 0.0;
    double q3 = 0.0;
    double p90 = 0.0;
};

// Fewer results than this, and a processor's figures say more about luck than
// about the processor: the pages mark it, and a reply makes no comparison.
inline constexpr std::int64_t kFewResults = 5;

// From the count (at least one) and the k-th shortest time (from 0).
Spread spreadOf(std::int64_t count, const std::function<double(std::int64_t k)>& kth);

// `time` against a median, in whole percent: 4 when 4 % faster (shorter),
// -10 when 10 % slower.
int percentFaster(double time, double median);

// Whether the middle halves (first to third quartile) of two processors meet.
bool middlesOverlap(const Spread& a, const Spread& b);

// A name as search compares it: case folded by the root locale's rules (never
// the Turkish one), and the Turkish dotted capital and dotless small i taken
// as i, since readers type on Turkish keyboards.
std::string foldName(const std::string& name);

} // namespace service
