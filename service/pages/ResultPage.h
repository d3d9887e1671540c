#pragma once

#include "service/store/Records.h"

#include <optional>
#include <string>

namespace service {

// A result's share of its processor's results at or above it, as "ilk %N"
// shows it: rounded, but never 0 and never over 100.
int topPercent(std::int64_t rank, std::int64_t total);

// The result page's path, "/r/ID".
std::string resultPath(std::int64_t id);

// "N sonuç arasında R. sırada (ilk %P)", as the page and the accepted reply
// say it; the share only from 10 results on, and in their first half.
std::string placeText(std::int64_t rank, std::int64_t total);

// The distribution's bins on a result's page.
inline constexpr int kResultBins = 20;

// The page of one result: its values, its rank and percentile, and its
// processor's distribution with it marked.
std::string renderResult(const ResultData& result);

// The page for an id that names no result.
std::string missingResultPage();

} // namespace service
