#pragma once

#include "service/ScoreStore.h"

#include <optional>
#include <string>

namespace service {

// The leaderboard as one HTML page without scripts: the processors with
// their best and median times, the best results (of `chip` when chosen) and
// the distribution of the chosen processor's times as an SVG chart. Every
// stored text is escaped. Nothing when the database cannot be read.
std::optional<std::string> renderLeaderboard(ScoreStore& store,
                                             const std::optional<std::string>& chip);

// The page shown instead when the database cannot be read.
std::string unavailablePage();

// The chart alone: one bar per bin, labelled with the range of times.
std::string distributionSvg(const Distribution& distribution);

} // namespace service
