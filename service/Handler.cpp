#include "service/Handler.h"

#include "service/ProcessorRoutes.h"
#include "service/Replies.h"
#include "service/edge/HttpCaching.h"
#include "service/pages/Icon.h"
#include "service/pages/LeaderboardPage.h"
#include "service/pages/ResultPage.h"
#include "service/pages/Texts.h"
#include "service/rules/Format.h"
#include "service/rules/Plausibility.h"
#include "service/rules/Spread.h"
#include "submission/PayloadJson.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>

namespace service {
namespace {

using submission::APIResponse;

constexpr std::size_t kMaxMessageChars = 100; // what the client shows of a reply

std::size_t codePoints(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

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
    if (!placement) {
        count(context, SubmissionOutcome::unavailable);
        return unavailable();
    }
    count(context, placement->held ? SubmissionOutcome::held : SubmissionOutcome::accepted);
    return accepted(*placement, std::get<submission::Payload>(checked).xcode_build_sec,
                    context.publicUrl);
}

Response scores(const Request& request, ServiceContext& context) {
    const auto limit = parseCount(queryValue(request, "limit"), kDefaultLimit, 1, kMaxLimit);
    if (!limit) {
        return jsonFailure(400, "Geçersiz parametre: limit 1 ile 100 arasında olmalı.");
    }
    const auto offset = parseCount(queryValue(request, "offset"), 0, 0, kMaxOffset);
    if (!offset) {
        return jsonFailure(400, "Geçersiz parametre: offset 0 ile 100000 arasında olmalı.");
    }
    const auto chip = queryValue(request, "chip");
    const auto listed = context.store.listing(chip, static_cast<int>(*limit), *offset);
    if (!listed) {
        return unavailable();
    }
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    const auto ranks = sharedRanks(listed->rows, *offset, listed->fasterThanFirst);
    for (std::size_t i = 0; i < listed->rows.size(); ++i) {
        const auto& row = listed->rows[i];
        nlohmann::ordered_json item{{"id", row.id},
                                    {"rank", ranks[i]},
                                    {"url", resultAddress(context.publicUrl, row.id)},
                                    {"received_at", row.receivedAt}};
        item.update(submission::payloadJson(row.payload));
        list.push_back(std::move(item));
    }
    const nlohmann::ordered_json body{
        {"success", true}, {"total", listed->total}, {"offset", *offset}, {"scores", list}};
    return Response{
        200, kJson, body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), {}, 0};
}

// A page number past the results is refused like one that is no number: an
// empty page would only lead to more of them.
Response page(const Request& request, ServiceContext& context) {
    const auto chip = queryValue(request, "chip");
    const auto number = parseCount(queryValue(request, "page"), 1, 1, kMaxPage);
    if (!number) {
        const auto total = context.store.records(chip);
        return total ? Response{400, kHtml, pageOutOfRange(chip, lastPage(*total)), {}, 0}
                     : Response{503, kHtml, unavailablePage(), {}, 0};
    }
    if (chip) {
        return processorPage(*chip, static_cast<int>(*number), context);
    }
    const auto data =
        context.store.page(chip, kPageRows, (*number - 1) * kPageRows, kLeaderboardBins);
    if (!data) {
        return Response{503, kHtml, unavailablePage(), {}, 0};
    }
    if (*number > lastPage(data->total)) {
        return Response{400, kHtml, pageOutOfRange(chip, lastPage(data->total)), {}, 0};
    }
    return Response{200, kHtml, renderLeaderboard(*data, static_cast<int>(*number)), {}, 0};
}

Response result(std::int64_t id, ServiceContext& context) {
    const auto found = context.store.result(id, kResultBins);
    if (!found) {
        return Response{503, kHtml, unavailablePage(), {}, 0};
    }
    if (!*found) {
        return Response{404, kHtml, missingResultPage(), {}, 0};
    }
    return Response{200, kHtml, renderResult(**found), {}, 0};
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

// A read of the board: its pages, a result's page and the API.
Response readBoard(const Request& request, std::optional<std::int64_t> id,
                   ServiceContext& context) {
    // Reads are limited too: each new ?chip= costs a query and a cache entry,
    // and a result's page some forty statements.
    if (const auto wait = context.limiter.admitRead(request.clientAddress, context.steadyClock())) {
        return tooMany("Çok fazla istek.", *wait);
    }
    if (id) {
        return result(*id, context);
    }
    if (isProcessorRoute(request.path)) {
        return routeProcessors(request, context);
    }
    return request.path == "/" ? page(request, context) : scores(request, context);
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
    if (codePoints(message) + codePoints(compared) <= kMaxMessageChars) {
        message += compared;
    }
    const std::string address = " Sayfası: " + resultAddress(publicUrl, placement.id);
    if (codePoints(message) + codePoints(address) <= kMaxMessageChars) {
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
    const bool read = request.method == "GET" || request.method == "HEAD";
    if (request.path == "/api/submit") {
        return request.method == "POST" ? submit(request, context) : notAllowed("POST");
    }
    const auto id = resultId(request.path);
    if (request.path == "/favicon.ico" && read) {
        return icon();
    }
    if (!id && !isProcessorRoute(request.path) && request.path != "/" &&
        request.path != "/api/scores" && request.path != "/healthz" &&
        request.path != "/favicon.ico") {
        return notFound(request);
    }
    if (!read) {
        return notAllowed("GET, HEAD");
    }
    if (request.path == "/healthz") {
        return health(context);
    }
    return forCaches(request, readBoard(request, id, context),
                     id ? Freshness::result : Freshness::board);
}

} // namespace service
