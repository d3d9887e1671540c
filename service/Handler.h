#pragma once

#include "service/Metrics.h"
#include "service/edge/Http.h"
#include "service/edge/RateLimiter.h"
#include "service/store/ScoreStore.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace service {

class PageCache;

// What the handler needs from the world, passed in so tests choose it.
struct ServiceContext {
    ScoreStore& store;
    RateLimiter& limiter;
    std::function<std::chrono::system_clock::time_point()> wallClock;
    std::function<std::chrono::steady_clock::time_point()> steadyClock;
    Metrics* metrics = nullptr; // where submissions are counted; none in most tests
    std::string publicUrl{};    // what result addresses begin with (--public-url); empty: paths
    PageCache* pages = nullptr; // the board's pages kept between views; none: each read afresh
};

// Answers one request. Pure routing over the context: no HTTP library here.
Response handle(const Request& request, ServiceContext& context);

// The answer `handle` would give, when it needs no database and so never
// waits: a page the cache holds fresh (its 304, or the read limit's refusal
// instead), the icon, a refusal of the address or the method. Nothing otherwise.
std::optional<Response> answerAtOnce(const Request& request, ServiceContext& context);

// "application/json", with or without parameters, in any letter case.
bool isJsonMediaType(std::string_view contentType);

// The id of a result page's path, "/r/ID"; nothing for any other path.
std::optional<std::int64_t> resultId(std::string_view path);

// A result page's address: after `publicUrl` when the service knows the
// address it is reached by, otherwise the path alone.
std::string resultAddress(const std::string& publicUrl, std::int64_t id);

// The accepted reply for a time of `seconds`: rank and percentile, how it
// compares with its processor's median where the placement has one, then the
// result page's address when the whole still fits in the client's 100 characters.
std::string acceptedMessage(const Placement& placement, double seconds,
                            const std::string& publicUrl = "");

} // namespace service
