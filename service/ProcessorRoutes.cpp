#include "service/ProcessorRoutes.h"

#include "service/Replies.h"
#include "service/pages/ComparePage.h"
#include "service/pages/Html.h"
#include "service/pages/LeaderboardPage.h"
#include "service/pages/ProcessorPage.h"
#include "service/pages/ProcessorsPage.h"
#include "service/rules/Spread.h"

#include <nlohmann/json.hpp>

namespace service {
namespace {

using Json = nlohmann::ordered_json;

// Processors a comparison with an unknown name offers in its place.
constexpr int kAlikeShown = 10;
// The largest page number parseCount reads; the list says where it ends.
constexpr std::int64_t kAnyPage = 999999999;

Response html(int status, std::string body) {
    return Response{status, kHtml, std::move(body), {}, 0};
}

Response json(const Json& body) {
    return Response{200, kJson, body.dump(-1, ' ', false, Json::error_handler_t::replace), {}, 0};
}

// What a visitor typed, without the blanks around it.
std::string searched(const Request& request) {
    const auto text = queryValue(request, "q").value_or("");
    const auto from = text.find_first_not_of(" \t");
    return from == std::string::npos ? ""
                                     : text.substr(from, text.find_last_not_of(" \t") + 1 - from);
}

std::optional<ProcessorOrder> readOrder(const Request& request) {
    const auto name = queryValue(request, "sort");
    return name ? orderNamed(*name) : std::optional(ProcessorOrder::median);
}

std::string badOrder() {
    return std::string("Geçersiz parametre: sort ") + orderName(ProcessorOrder::median) + ", " +
           orderName(ProcessorOrder::count) + " ya da " + orderName(ProcessorOrder::name) +
           " olmalı.";
}

std::string badRange(const char* name, std::int64_t low, std::int64_t high) {
    return std::string("Geçersiz parametre: ") + name + " " + std::to_string(low) + " ile " +
           std::to_string(high) + " arasında olmalı.";
}

Response processorsPage(const Request& request, ServiceContext& context) {
    const auto order = readOrder(request);
    if (!order) {
        return html(400, badParametersPage(badOrder()));
    }
    const auto number = parseCount(queryValue(request, "page"), 1, 1, kAnyPage);
    const std::string search = searched(request);
    const auto list = context.store.processors({foldName(search), *order,
                                                number ? (*number - 1) * kProcessorRows : 0,
                                                number ? kProcessorRows : 0});
    if (!list) {
        return html(503, unavailablePage());
    }
    const auto last = lastProcessorsPage(list->total);
    if (!number || *number > last) {
        return html(400, badParametersPage(badRange("page", 1, last)));
    }
    return html(200, renderProcessors(*list, {search, *order, static_cast<int>(*number)}));
}

Response comparePage(const Request& request, ServiceContext& context) {
    const auto a = queryValue(request, "a");
    const auto b = queryValue(request, "b");
    if (!a || !b) {
        return html(400, badParametersPage("Karşılaştırma iki işlemci ister: a ve b."));
    }
    const auto both = context.store.comparison(*a, *b, kCompareBins);
    if (!both) {
        return html(503, unavailablePage());
    }
    if (both->a && both->b) {
        return html(200, renderComparison(*both->a, *both->b));
    }
    const bool firstMissing = !both->a;
    const std::string& missing = firstMissing ? *a : *b;
    const auto alike =
        context.store.processors({foldName(missing), ProcessorOrder::count, 0, kAlikeShown});
    if (!alike) {
        return html(503, unavailablePage());
    }
    return html(
        404, missingInComparisonPage(missing, firstMissing ? *b : *a, firstMissing, alike->rows));
}

// One processor's figures as both API routes give them, as its pages show them.
Json processorJson(const ProcessorRow& row) {
    const auto& s = row.spread;
    return Json{{"chip", row.chip},
                {"results", s.count},
                {"best", s.best},
                {"p10", s.p10},
                {"q1", s.q1},
                {"median", s.median},
                {"q3", s.q3},
                {"p90", s.p90},
                {"few_results", s.count < kFewResults},
                {"url", chipPath(row.chip)}};
}

Response processorsApi(const Request& request, ServiceContext& context) {
    const auto order = readOrder(request);
    if (!order) {
        return jsonFailure(400, badOrder());
    }
    const auto limit = parseCount(queryValue(request, "limit"), kDefaultLimit, 1, kMaxLimit);
    if (!limit) {
        return jsonFailure(400, badRange("limit", 1, kMaxLimit));
    }
    const auto offset = parseCount(queryValue(request, "offset"), 0, 0, kMaxOffset);
    if (!offset) {
        return jsonFailure(400, badRange("offset", 0, kMaxOffset));
    }
    const auto list = context.store.processors(
        {foldName(searched(request)), *order, *offset, static_cast<int>(*limit)});
    if (!list) {
        return unavailable();
    }
    Json rows = Json::array();
    for (const auto& row : list->rows) {
        rows.push_back(processorJson(row));
    }
    return json(
        {{"success", true}, {"total", list->total}, {"offset", *offset}, {"processors", rows}});
}

Response processorApi(const Request& request, ServiceContext& context) {
    const auto chip = queryValue(request, "chip");
    if (!chip) {
        return jsonFailure(400, "Geçersiz parametre: chip, bir işlemcinin adı olmalı.");
    }
    const auto found = context.store.processor(*chip, 0, 0, 0);
    if (!found) {
        return unavailable();
    }
    if (!*found) {
        return jsonFailure(404, "Bu adla, sonucu olan bir işlemci yok.");
    }
    Json item = processorJson((*found)->row);
    item["held"] = (*found)->held;
    item["by_memory"] = Json::array();
    for (const auto& size : (*found)->byMemory) {
        item["by_memory"].push_back(
            {{"ram_gb", size.ramGb}, {"results", size.count}, {"best", size.best}});
    }
    return json({{"success", true}, {"processor", item}});
}

} // namespace

bool isProcessorRoute(std::string_view path) {
    return path == "/processors" || path == "/compare" || path == "/api/processors" ||
           path == "/api/processor";
}

Response routeProcessors(const Request& request, ServiceContext& context) {
    if (request.path == "/processors") {
        return processorsPage(request, context);
    }
    if (request.path == "/compare") {
        return comparePage(request, context);
    }
    return request.path == "/api/processors" ? processorsApi(request, context)
                                             : processorApi(request, context);
}

Response processorPage(const std::string& chip, int pageNumber, ServiceContext& context) {
    const auto found = context.store.processor(
        chip, kPageRows, std::int64_t{pageNumber - 1} * kPageRows, kLeaderboardBins);
    if (!found) {
        return html(503, unavailablePage());
    }
    if (!*found) {
        return html(404, missingProcessorPage(chip));
    }
    const int last = lastPage((*found)->row.spread.count);
    if (pageNumber > last) {
        return html(400, pageOutOfRange(chip, last));
    }
    return html(200, renderProcessor(**found, pageNumber));
}

} // namespace service
