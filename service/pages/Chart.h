#pragma once

#include "service/store/Records.h"

#include <optional>
#include <string>
#include <vector>

namespace service {

// The charts are SVG without scripts, scaled by their viewBox. Each carries a
// title and a description with its numbers, for those who cannot see it.

// One processor's distribution of scores as a histogram with axes, counts,
// its median and, when given, one result marked. `id` makes its element ids
// unique on the page.
std::string distributionFigure(const Distribution& distribution, const std::string& chip,
                               std::optional<double> median, std::optional<double> marked,
                               const std::string& id);

// Each processor's median score and count as a bar, at most `rows` of them.
std::string chipsFigure(const std::vector<ChipSummary>& chips, std::size_t rows,
                        const std::string& id);

// A bar's height in px: proportional to its count, but never 0 px for a bin
// that holds results.
double barHeight(std::int64_t count, std::int64_t top, double plotHeight);

// A round step (1, 2 or 5 times a power of ten) that divides 0..max into at
// most `ticks` intervals.
double tickStep(double max, int ticks);

} // namespace service
