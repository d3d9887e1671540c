#include "service/BoardRoutes.h"

#include "service/ProcessorRoutes.h"
#include "service/Replies.h"
#include "service/pages/LeaderboardPage.h"
#include "service/pages/ResultPage.h"
#include "submission/PayloadJson.h"

#include <nlohmann/json.hpp>

namespace service {
namespace {

Response scores(const Request& request, ServiceContext& context) {
    const auto limit = parseCount(queryValue(request, "limit"), kDefaultLimit, 1, kMaxLimit);
    if (!limit) {
        return jsonFailure(400, "Geçersiz parametre: limit 1 ile " + std::to_string(kMaxLimit) +
                                    " arasında olmalı.");
    }
    const auto offset = parseCount(queryValue(request, "offset"), 0, 0, kMaxOffset);
    if (!offset) {
        return jsonFailure(400, "Geçersiz parametre: offset 0 ile " + std::to_string(kMaxOffset) +
                                    " arasında olmalı.");
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
Response leaderboard(const Request& request, ServiceContext& context) {
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
        context.store.leaderboard(chip, kPageRows, (*number - 1) * kPageRows, kLeaderboardBins);
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

} // namespace

bool isBoardRead(std::string_view path) {
    return path == "/" || path == "/api/scores" || isProcessorRoute(path) || resultId(path);
}

Response readBoard(const Request& request, ServiceContext& context) {
    if (const auto id = resultId(request.path)) {
        return result(*id, context);
    }
    if (isProcessorRoute(request.path)) {
        return routeProcessors(request, context);
    }
    return request.path == "/" ? leaderboard(request, context) : scores(request, context);
}

} // namespace service
