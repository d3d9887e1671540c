// The result page and the charts, as pure functions and through the handler on a real
// SQLite file.
#include "service/Handler.h"
#include "service/Metrics.h"
#include "service/ServiceTestSupport.h"
#include "service/pages/Chart.h"
#include "service/pages/ResultPage.h"
#include "service/store/SqlScoreStore.h"

#include <gtest/gtest.h>

#include <regex>

namespace service {
namespace {

TEST(ResultAddress, OnlyAPlainPositiveIdNamesAResult) {
    EXPECT_EQ(resultId("/r/1"), 1);
    for (const char* path :
         {"/r/", "/r/0", "/r/012", "/r/-1", "/r/1x", "/r/1/", "/r/99999999999999999999", "/x/1"}) {
        EXPECT_EQ(resultId(path), std::nullopt) << path;
    }
}

TEST(Chart, EveryHeldBinIsVisibleAndTheOutliersHaveTheirOwnBar) {
    EXPECT_EQ(barHeight(0, 100000, 180), 0);
    EXPECT_GE(barHeight(1, 100000, 180), 2); // would round to 0 px
    EXPECT_DOUBLE_EQ(barHeight(50, 100, 180), 90);
    EXPECT_DOUBLE_EQ(tickStep(7, 4), 2);
    EXPECT_DOUBLE_EQ(tickStep(100000, 4), 50000);
    // Any time a table can hold gives an axis of a few ticks, and no bin is
    // drawn without a width.
    for (const double time : {5e-324, 1e-12, 0.0, 3600.0, 1.7e308}) {
        const auto chart = chipsFigure({{"M9", time, time, 1}}, 12, "c") +
                           distributionFigure({time, 0.0, {0, 3}, 0, 0}, "M9", time, time, "f");
        EXPECT_LT(chart.size(), 20000U) << time; // the largest double has 309 digits
        EXPECT_EQ(chart.find("nan"), std::string::npos) << chart;
        EXPECT_EQ(chart.find('\0'), std::string::npos) << time; // a number too long to write
    }
    const Distribution spread{10.0, 0.5, {100000, 0, 1}, 0, 1};
    const auto svg = distributionFigure(spread, "<M9>", 10.2, 11.9, "d");
    EXPECT_NE(svg.find("viewBox='0 0 480 302'"), std::string::npos);
    EXPECT_NE(svg.find("<desc id='d-d'>100.002 sonuç. Ortanca: 10.20. Bu sonuç: 11.90. "
                       "10.00–10.50: 100.000. 10.50–11.00: 0. 11.00–11.50: 1. 11.50 üstü: 1."),
              std::string::npos)
        << svg;
    EXPECT_NE(svg.find("&lt;M9&gt;"), std::string::npos);
    EXPECT_EQ(svg.find("<M9>"), std::string::npos);
    const std::regex bar("<rect [^>]*height='([0-9.]+)'[^>]*><title>([^<]*)</title>");
    std::vector<std::string> bars;
    for (std::sregex_iterator it(svg.begin(), svg.end(), bar), end; it != end; ++it) {
        bars.push_back((*it)[2].str() + " " + (std::stod((*it)[1]) > 0 ? "shown" : "empty"));
    }
    EXPECT_EQ(bars, (std::vector<std::string>{
                        "10.00–10.50: 100000 sonuç shown", "10.50–11.00: 0 sonuç empty",
                        "11.00–11.50: 1 sonuç shown", "11.50 üstü: 1 sonuç shown"}));
    // Nothing lies on another: the result's label is above the tallest bar's
    // count, and its line under that count.
    std::smatch label, tallest; // the first bar holds the most
    ASSERT_TRUE(std::regex_search(svg, label, std::regex("y='([0-9.]+)'[^>]*>bu sonuç 11.90<")));
    ASSERT_TRUE(std::regex_search(svg, tallest, std::regex("<rect [^>]*y='([0-9.]+)'")));
    EXPECT_LT(std::stod(label[1]), std::stod(tallest[1]) - 2 * 15);
    EXPECT_LT(svg.find("stroke='#b00020'"), svg.find(">100000</text>"));
    // Text of 11 px or more where a 390 px phone draws the charts 374 px wide.
    const std::string both = svg + chipsFigure({{"M9", 1, 2, 3}}, 12, "c");
    const std::regex size("font-size='([0-9.]+)'");
    for (std::sregex_iterator it(both.begin(), both.end(), size), end; it != end; ++it) {
        EXPECT_GE(std::stod((*it)[1]) * 374 / 480, 11) << (*it)[0];
    }
    // The caption names only what is drawn: outliers' bars when there are some.
    EXPECT_NE(svg.find("turuncu"), std::string::npos);
    EXPECT_EQ(distributionFigure({10.0, 0.5, {1, 2}, 0, 0}, "M9", 10.2, 10.3, "e").find("turuncu"),
              std::string::npos);
}

TEST(ResultPages, AreFoundByTheAddressInTheReplyAndPagedWithTotals) {
    FileService service;
    const std::string at = "2026-01-31T12:00:00.000Z";
    for (int i = 0; i < 120; ++i) {
        ASSERT_TRUE(service.store->add(clientRecord("M9", 10.0 + i * 0.01), at));
    }
    const auto reply = service.send(post(clientRecord("M9", 10.005)));
    std::smatch found;
    ASSERT_TRUE(std::regex_search(reply.body, found, std::regex("\"url\":\"(/r/[0-9]+)\"")));
    const std::string address = found[1];
    // Equal times share a rank, also where a page begins among them.
    for (const auto& [n, seconds, device] :
         {std::tuple{1, 19.0, "Lead"}, {51, 20.0, "Tie"}, {1, 21.0, "Slow"}}) {
        for (int i = 0; i < n; ++i) {
            ASSERT_TRUE(service.store->add(clientRecord("T2", seconds, device), at));
        }
    }
    const Request tiePage = get("/", {{"chip", "T2"}, {"page", "2"}});
    service.context.publicUrl = "https://skor.example";
    const auto browsing = [](Request request) {
        request.accept = "text/html,application/xhtml+xml,*/*;q=0.8";
        return request;
    };
    const std::vector<std::tuple<Request, int, std::string>> cases = {
        {get(address), 200, "121 sonuç arasında 2. sırada (ilk %2)"},
        {get(address), 200, "<title>Sonuç 121: M9 – Skor Tablosu</title>"},
        {get("/r/9999"), 404, "Sonuç bulunamadı"},
        {get("/favicon.ico"), 200, "<svg xmlns="},
        {browsing(get("/r/abc")), 404, "<h1>Sayfa bulunamadı</h1>"},
        {browsing(get("/api/nope")), 404, R"({"success":false,"error":"Bulunamadı)"},
        {get("/", {{"chip", "M9"}, {"page", "3"}}), 200, "101–121 / 121 sonuç"},
        {get("/", {{"chip", "M9"}, {"page", "3"}}), 200,
         "<time datetime='2026-01-31T12:00:00.000Z' title='2026-01-31T12:00:00.000Z'>31 Oca 2026 "
         "12:00</time>"},
        {get("/", {{"page", "2"}}), 200, "← Önceki sayfa"},
        {get("/", {{"page", "0"}}), 400, "Sayfa numarası 1 ile 4 arasında"},
        {get("/", {{"page", "abc"}}), 400, "Sayfa numarası 1 ile 4 arasında"},
        {get("/", {{"chip", "M9"}, {"page", "4"}}), 400, "<a href='/?chip=M9&amp;page=3'>"},
        {tiePage, 200, "</th></tr><tr><td class='n'>2</td><td>Tie"},
        {tiePage, 200, "</td></tr><tr><td class='n'>2</td><td>Tie"},
        {tiePage, 200, "<td class='n'>53</td><td>Slow"},
        {get("/", {{"page", "4"}}), 200, "</th></tr><tr><td class='n'>123</td><td>Tie"},
        {get("/api/scores", {{"offset", "120"}}), 200, "\"total\":174,\"offset\":120"},
        {get("/api/scores", {{"chip", "T2"}, {"offset", "50"}}), 200, R"("id":173,"rank":2,)"},
        {get("/api/scores", {{"offset", "100001"}}), 400, "offset"},
        {post(clientRecord("M9", 10.5)), 200, R"("id":175,"url":"https://skor.example/r/175")"},
    };
    for (const auto& [request, status, says] : cases) {
        const auto response = service.send(request);
        EXPECT_EQ(response.status, status) << request.path;
        EXPECT_NE(response.body.find(says), std::string::npos) << says << "\n" << response.body;
    }
}

} // namespace
} // namespace service
