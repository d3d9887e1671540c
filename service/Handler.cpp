#include "service/Handler.h"

#include "service/BoardRoutes.h"
#include "service/PageCache.h"
#include "service/Replies.h"
#include "service/edge/HttpCaching.h"
#include "service/pages/Icon.h"
#include "service/pages/LeaderboardPage.h"
#include "service/pages/ResultPage.h"
#include "service/pages/Texts.h"
#include "service/rules/Format.h"
#include "service/rules/Plausibility.h"
#include "service/rules/Spread.h"
#include "submission/Payload.h"
#include "submission/PlainText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>

namespace service {
namespace {

using submission::APIResponse;

constexpr std::size_t kMaxMessageChars = 100; // what the client shows of a reply

Response notAllowed(const char* allow) {
    Response response = jsonFailure(405, "Bu adres bu yöntemi desteklemiyor.");
    response.headers.emplace_back("Allow", allow);
    return response;
}

void count(ServiceContext& context, SubmissionOutcome outcome) {
    if (context.metrics != nullptr) {
        context.metrics->submission(outcome);
    }
}

Response tooMany(const std::string& what, std::chrono::seconds wait) {
    Response response = jsonFailure(429, what + " Lütfen " + std::to_string(wait.count()) +
                                             " saniye sonra tekrar deneyin.");
    response.headers.emplace_back("Retry-After", std::to_string(wait.count()));
    return response;
}

// The address apart from the message too, for programs and where the message had no room.
Response accepted(const Placement& placement, double seconds, const std::string& publicUrl) {
    Response response = jsonReply(
        200,
        APIResponse{.success = true,
                    .message = acceptedMessage(placement, seconds, publicUrl),
                    .id = placement.id,
                    .url = placement.held ? std::nullopt
                                          : std::optional(resultAddress(publicUrl, placement.id))});
    response.recordId = placement.id;
    return response;
}

Response submit(const Request& request, ServiceContext& context) {
    if (const auto wait = context.limiter.admit(request.clientAddress, context.steadyClock())) {
        count(context, SubmissionOutcome::rateLimited);
        return tooMany("Çok fazla gönderim.", *wait);
    }
    if (!isJsonMediaType(request.contentType)) {
        count(context, SubmissionOutcome::notJson);
        return jsonFailure(415, "İstek JSON olmalı (Content-Type: application/json).");
    }
    auto decoded = submission::decodePayloadExplained(request.body);
    if (!decoded.payload) {
        count(context, SubmissionOutcome::malformed);
        return jsonFailure(400, decoded.badMember.empty()
                                    ? "Geçersiz istek: gövde bir JSON nesnesi değil."
                                    : "Geçersiz alan: " + decoded.badMember +
                                          " eksik ya da türü yanlış.");
    }
    auto checked = plausibleRecord(std::move(*decoded.payload));
    if (auto* problem = std::get_if<std::string>(&checked)) {
        count(context, SubmissionOutcome::implausible);
        return jsonFailure(400, std::move(*problem));
    }
    const auto placement =
        context.store.add(std::get<submission::Payload>(checked), isoUtc(context.wallClock()),
                          clientVersion(request.userAgent));
    if (context.pages != nullptr) {
        // Also after a failure: a commit whose answer was lost may have stored it.
        context.pages->changed();
    }
    if (!placement) {
        count(context, SubmissionOutcome::unavailable);
        return unavailable();
    }
    count(context, placement->held ? SubmissionOutcome::held : SubmissionOutcome::accepted);
    return accepted(*placement, std::get<submission::Payload>(checked).xcode_build_sec,
                    context.publicUrl);
}

// A browser that asks for a page gets one, also for an address that names
// nothing; a program reading the API keeps its JSON.
Response notFound(const Request& request) {
    std::string accept = request.accept;
    std::transform(accept.begin(), accept.end(), accept.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const bool browsing =
        !request.path.starts_with("/api/") && accept.find("text/html") != std::string::npos;
    return browsing ? Response{404, kHtml, missingPage(), {}, 0}
                    : jsonFailure(404, "Bulunamadı: böyle bir adres yok.");
}

// Browsers ask for it on every first view; it changes only with a release.
Response icon() {
    return Response{
        200, "image/svg+xml", kIconSvg, {{"Cache-Control", "public, max-age=604800"}}, 0};
}

Response health(ServiceContext& context) {
    if (!context.store.reachable()) {
        return unavailable();
    }
    return jsonReply(200, APIResponse{.success = true, .message = "ok"});
}

// How a time compares with its processor's median, in a reply's few words.
std::string againstMedian(double seconds, const std::optional<double>& median) {
    if (!median) {
        return "";
    }
    const int percent = percentFaster(seconds, *median);
    if (percent == 0) {
        return " Ortancayla aynı.";
    }
    return " Ortancadan %" + std::to_string(std::abs(percent)) +
           (percent > 0 ? " hızlı." : " yavaş.");
}

Freshness freshnessOf(const Request& request) {
    return resultId(request.path) ? Freshness::result : Freshness::board;
}

// The answers that need nothing read: the icon, and refusals of the address or the method.
std::optional<Response> answerUnread(const Request& request) {
    const bool read = request.method == "GET" || request.method == "HEAD";
    if (request.path == "/favicon.ico") {
        return read ? icon() : notAllowed("GET, HEAD");
    }
    if (!isBoardRead(request.path) && request.path != "/healthz") {
        return notFound(request);
    }
    return read ? std::nullopt : std::optional(notAllowed("GET, HEAD"));
}

// Reads are limited too: each new ?chip= costs a query and a cache entry,
// and a result's page some forty statements.
std::optional<Response> refuseRead(const Request& request, ServiceContext& context) {
    const auto wait = context.limiter.admitRead(request.clientAddress, context.steadyClock());
    return wait ? std::optional(
                      forCaches(request, tooMany("Çok fazla istek.", *wait), freshnessOf(request)))
                : std::nullopt;
}

// Reads the board's tally when it is due, so that another process's change
// shows here within kBoardCheckInterval.
void checkBoard(PageCache& pages, ServiceContext& context) {
    const auto begun = context.steadyClock();
    if (!pages.claimCheck(begun)) {
        return;
    }
    if (const auto tally = context.store.boardTally()) {
        pages.observed(*tally, begun);
    } else {
        pages.unobserved();
    }
}

// A read of the board, from the page kept for it or rendered and kept.
Response readThroughCache(const Request& request, ServiceContext& context) {
    if (context.pages == nullptr) {
        return forCaches(request, readBoard(request, context), freshnessOf(request));
    }
    PageCache& pages = *context.pages;
    checkBoard(pages, context);
    const std::string key = pageKey(request);
    if (const auto page = pages.find(key, context.steadyClock())) {
        return answerFrom(request, *page);
    }
    const auto stamp = pages.stamp(); // before the read, which a change may follow
    Response response = readBoard(request, context);
    if (response.status != 200) {
        return forCaches(request, std::move(response), freshnessOf(request));
    }
    const auto page =
        std::make_shared<const Cacheable>(prepare(std::move(response), freshnessOf(request), true));
    pages.keep(key, stamp, page);
    return answerFrom(request, *page);
}

} // namespace

std::optional<std::int64_t> resultId(std::string_view path) {
    if (!path.starts_with("/r/") || path.size() > 3 + 18 || path.size() == 3 || path[3] < '1' ||
        path[3] > '9') {
        return std::nullopt;
    }
    std::int64_t id = 0;
    const auto* end = path.data() + path.size();
    const auto [rest, error] = std::from_chars(path.data() + 3, end, id);
    return error == std::errc() && rest == end ? std::optional(id) : std::nullopt;
}

std::string resultAddress(const std::string& publicUrl, std::int64_t id) {
    return publicUrl + resultPath(id);
}

std::string acceptedMessage(const Placement& placement, double seconds,
                            const std::string& publicUrl) {
    if (placement.held) {
        // No address: a held result has no public page until it is approved.
        return "Skor incelemeye alındı; onaylanırsa bu işlemcideki " +
               formatCount(placement.total) + " sonuç arasında " + formatCount(placement.rank) +
               ". olacak.";
    }
    std::string message =
        "Skor kaydedildi: bu işlemcideki " + placeText(placement.rank, placement.total) + ".";
    const auto compared = againstMedian(seconds, placement.median);
    if (submission::codePoints(message) + submission::codePoints(compared) <= kMaxMessageChars) {
        message += compared;
    }
    const std::string address = " Sayfası: " + resultAddress(publicUrl, placement.id);
    if (submission::codePoints(message) + submission::codePoints(address) <= kMaxMessageChars) {
        message += address;
    }
    return message;
}

bool isJsonMediaType(std::string_view contentType) {
    const auto end = contentType.find(';');
    std::string_view type = contentType.substr(0, end);
    while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) {
        type.remove_suffix(1);
    }
    constexpr std::string_view kType = "application/json";
    return std::equal(type.begin(), type.end(), kType.begin(), kType.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

Response handle(const Request& request, ServiceContext& context) {
    if (request.path == "/api/submit") {
        return request.method == "POST" ? submit(request, context) : notAllowed("POST");
    }
    if (auto answer = answerUnread(request)) {
        return *answer;
    }
    if (request.path == "/healthz") {
        return health(context);
    }
    if (auto refused = refuseRead(request, context)) {
        return *refused;
    }
    return readThroughCache(request, context);
}

std::optional<Response> answerAtOnce(const Request& request, ServiceContext& context) {
    if (request.path == "/api/submit") {
        return std::nullopt;
    }
    if (auto answer = answerUnread(request)) {
        return answer;
    }
    if (request.path == "/healthz" || context.pages == nullptr) {
        return std::nullopt;
    }
    const auto page = context.pages->find(pageKey(request), context.steadyClock());
    if (!page) {
        return std::nullopt;
    }
    if (auto refused = refuseRead(request, context)) {
        return refused;
    }
    return answerFrom(request, *page);
}

} // namespace service
