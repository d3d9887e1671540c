#pragma once
// What the handler's routes share: how a query is read, and the answers and
// bounds they all give.

#include "service/edge/Http.h"
#include "service/pages/LeaderboardPage.h"

#include <cstdint>
#include <optional>
#include <string>

namespace service {

inline constexpr const char* kHtml = "text/html; charset=utf-8";
inline constexpr const char* kJson = "application/json; charset=utf-8";

// An API list's rows by default and at most, and its furthest offset.
inline constexpr int kDefaultLimit = 20;
inline constexpr int kMaxLimit = 100;
inline constexpr std::int64_t kMaxOffset = std::int64_t{kMaxPage} * kPageRows;

// A query parameter's value; nothing when it is absent or empty.
std::optional<std::string> queryValue(const Request& request, const std::string& name);

// A whole number from `low` to `high` written in at most 9 digits; `absent` without text.
std::optional<std::int64_t> parseCount(const std::optional<std::string>& text, std::int64_t absent,
                                       std::int64_t low, std::int64_t high);

// The JSON answer when the database cannot be read.
Response unavailable();

} // namespace service
