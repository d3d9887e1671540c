#pragma once

#include "service/ScoreStore.h"

#include <optional>
#include <string>
#include <string_view>

namespace service {

// A result's share of its processor's results at or above it, as "ilk %N"
// shows it: rounded, but never 0 and never over 100.
int topPercent(std::int64_t rank, std::int64_t total);

// The result page's path, "/r/ID", and the id back from such a path.
std::string resultPath(std::int64_t id);
std::optional<std::int64_t> resultId(std::string_view path);

// The accepted reply: rank and percentile, then the result page's path when
// the whole still fits in the client's 100 characters.
std::string acceptedMessage(const Placement& placement);

// The distribution's bins on a result's page.
inline constexpr int kResultBins = 20;

// The page of one result: its values, its rank and percentile, and its
// processor's distribution with it marked.
std::string renderResult(const ResultData& result);

// The page for an id that names no result.
std::string missingResultPage();

} // namespace service
