#pragma once

#include "service/Http.h"
#include "service/Metrics.h"
#include "service/RateLimiter.h"
#include "service/ScoreStore.h"

#include <chrono>
#include <functional>

namespace service {

// What the handler needs from the world, passed in so tests choose it.
struct ServiceContext {
    ScoreStore& store;
    RateLimiter& limiter;
    std::function<std::chrono::system_clock::time_point()> wallClock;
    std::function<std::chrono::steady_clock::time_point()> steadyClock;
    Metrics* metrics = nullptr; // where submissions are counted; none in most tests
};

// Answers one request. Pure routing over the context: no HTTP library here.
Response handle(const Request& request, ServiceContext& context);

// "application/json", with or without parameters, in any letter case.
bool isJsonMediaType(std::string_view contentType);

// 2026-01-31T12:00:00.000Z
std::string isoUtc(std::chrono::system_clock::time_point time);

} // namespace service
