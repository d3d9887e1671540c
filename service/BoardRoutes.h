#pragma once
// The board's reads: the leaderboard's pages (a processor's among them), a
// result's page, /api/scores and the processors' routes.

#include "service/Handler.h"

#include <string_view>

namespace service {

// Whether `path` is one of them.
bool isBoardRead(std::string_view path);

// Reads and renders the answer to one of them, every time afresh.
Response readBoard(const Request& request, ServiceContext& context);

} // namespace service
