#include "service/ServiceTestSupport.h"
#include "service/edge/HttpRules.h"
#include "service/pages/Chart.h"
#include "service/pages/CompareChart.h"
#include "service/pages/ResultPage.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <regex>

namespace service {
namespace {

TEST(ResultAddress, OnlyAPlainPositiveIdNamesAResult) {
    for (const char* path :
         {"/r/", "/r/0", "/r/012", "/r/-1", "/r/1x", "/r/1/", "/r/99999999999999999999", "/x/1"}) {
        EXPECT_EQ(resultId(path), std::nullopt) << path;
    }
}

TEST(Chart, EveryHeldBinIsVisibleAndTheOutliersHaveTheirOwnBar) {
    EXPECT_GE(barHeight(1, 100000, 180), 2); // would round to 0 px
    EXPECT_DOUBLE_EQ(barHeight(50, 100, 180), 90);
    EXPECT_DOUBLE_EQ(tickStep(7, 4), 2);
    EXPECT_DOUBLE_EQ(tickStep(100000, 4), 50000);
    // Any time a table can hold gives an axis of a few ticks, and no bin is
    // drawn without a width.
    for (const double time : {5e-324, 1e-12, 0.0, 3600.0, 1.7e308}) {
        const Distribution d{time, 0.0, {0, 3}, 0, 0};
        const auto chart = chipsFigure({{"M9", time, time, 1}}, 12, "c") +
                           distributionFigure(d, "M9", time, time, "f") +
                           comparisonFigure(d, {-time, time, {1, 0}, 0, 1}, "M9", "M8", "m");
        EXPECT_LT(chart.size(), 30000U) << time; // three charts; the largest double has 309 digits
        EXPECT_EQ(chart.find("nan"), std::string::npos) << chart;
        EXPECT_EQ(chart.find('\0'), std::string::npos) << time; // a number too long to write
    }
    const auto svg = distributionFigure({10.0, 0.5, {100000, 0, 1}, 0, 1}, "<M9>", 10.2, 11.9, "d");
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

// One board for both: the results' pages, found by the address in the reply and paged with
// totals; the processors list sorted, searched and paged; a processor's page; two compared both
// ways, apart and overlapping; their API with the pages' numbers; and addresses that name nothing.
TEST(BoardPages, FindResultsPageThemAndSayWhichProcessorIsFasterAndByHowMuch) {
    FileService service;
    const auto add = [&](const std::string& chip, double seconds, std::int64_t ram = 16,
                         const char* device = "Mac99,1") {
        auto record = clientRecord(chip, seconds, device);
        record.ram_gb = ram;
        ASSERT_TRUE(service.store->add(record, kAt));
    };
    for (int i = 0; i < 120; ++i) {
        add("M9", 10.0 + i * 0.01); // with the reply's: median 10.59, middle half 10.29 to 10.89
    }
    const auto reply = service.send(post(clientRecord("M9", 10.005)));
    std::smatch found;
    ASSERT_TRUE(std::regex_search(reply.body, found, std::regex("\"url\":\"(/r/[0-9]+)\"")));
    const std::string address = found[1];
    // Equal times share a rank, also where a page begins among them.
    for (const auto& [n, seconds, device] :
         {std::tuple{1, 19.0, "Lead"}, {51, 20.0, "Tie"}, {1, 21.0, "Slow"}}) {
        for (int i = 0; i < n; ++i) {
            add("T2", seconds, 16, device);
        }
    }
    add("Z0", 30.0); // id 175
    for (const double seconds : {10.6, 10.7, 11.0, 11.1, 11.2}) {
        add("M8", seconds); // median 11.0, lower quartile 10.7
    }
    add("A1", 30.0, 8);
    add("A1", 31.0, 32);
    for (int i = 0; i < 46; ++i) { // 51 processors, and a second page
        add("P" + std::to_string(10 + i), 40.0);
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
        {get(address), 200, "M9</a> işlemcisinin 121 sonucunun ortancasından %6 daha hızlı."},
        {get("/r/174"), 200, "T2</a> işlemcisinin 53 sonucunun ortancasından %5 daha yavaş."},
        {get("/favicon.ico"), 200, "<svg xmlns="},
        {browsing(get("/r/abc")), 404, "<h1>Sayfa bulunamadı</h1>"},
        {browsing(get("/api/nope")), 404, R"({"success":false,"error":"Bulunamadı)"},
        {get("/", {{"chip", "M9"}, {"page", "3"}}), 200, "101–121 / 121 sonuç"},
        {get("/", {{"chip", "M9"}, {"page", "3"}}), 200,
         "<time datetime='2026-01-31T12:00:00.000Z' title='2026-01-31T12:00:00.000Z'>31 Oca 2026 "
         "12:00</time>"},
        {get("/", {{"page", "2"}}), 200, "← Önceki sayfa"},
        {get("/", {{"page", "0"}}), 400, "Sayfa numarası 1 ile 5 arasında"},
        {get("/", {{"page", "abc"}}), 400, "Sayfa numarası 1 ile 5 arasında"},
        {get("/", {{"chip", "M9"}, {"page", "4"}}), 400, "<a href='/?chip=M9&amp;page=3'>"},
        {tiePage, 200, "</th></tr><tr><td class='n'>2</td><td>Tie"},
        {tiePage, 200, "</td></tr><tr><td class='n'>2</td><td>Tie"},
        {tiePage, 200, "<td class='n'>53</td><td>Slow"},
        {get("/", {{"page", "4"}}), 200, "</th></tr><tr><td class='n'>128</td><td>Tie"},
        {get("/api/scores", {{"offset", "120"}}), 200, "\"total\":228,\"offset\":120"},
        {get("/api/scores", {{"chip", "T2"}, {"offset", "50"}}), 200, R"("id":173,"rank":2,)"},
        {get("/api/scores", {{"offset", "100001"}}), 400, "offset"},
        {get("/processors"), 200, "1–50 / 51 işlemci"},
        {get("/processors"), 200, "aria-sort='ascending'><a href='/processors?sort=median'>"},
        {get("/processors"), 200,
         "Hız</th></tr><tr><td><a href='/?chip=M9'>M9</a></td><td class='n'>121"},
        {get("/processors"), 200,
         "M8</a></td><td class='n'>5</td><td class='n'>38.50</td><td "
         "class='n opt'>37.45–38.85</td><td class='n opt'>37.10</td>"},
        {get("/processors"), 200, "width:96%'></span></span>%96</td>"},
        {get("/processors", {{"sort", "count"}}), 200,
         "%100</td></tr><tr><td><a href='/?chip=T2'>"},
        {get("/processors", {{"sort", "name"}}), 200, "Hız</th></tr><tr><td><a href='/?chip=A1'>"},
        {get("/processors", {{"sort", "name"}}), 200, "A1</a></td><td class='n'>2 *</td>"},
        {get("/processors", {{"q", " M "}}), 200, "“M” araması: 2 işlemci."},
        {get("/processors", {{"q", "zz"}}), 200, "eşleşen işlemci yok"},
        {get("/processors", {{"page", "2"}}), 200,
         "51–51 / 51 işlemci</span><a href='/processors?"
         "sort=median'>← Önceki sayfa</a></p>"},
        {get("/processors", {{"page", "3"}}), 400, "page 1 ile 2 arasında"},
        {get("/processors", {{"page", "0"}}), 400, "page 1 ile 2 arasında"},
        {get("/processors", {{"q", "zz"}, {"page", "2"}}), 400, "page 1 ile 1 arasında"},
        {get("/processors", {{"sort", "fastest"}}), 400, "sort median, count ya da name"},
        {get("/", {{"chip", "A1"}}), 200, "<h1>A1</h1><p>2 sonuç *; ortanca 106.75"},
        {get("/", {{"chip", "A1"}}), 200, "<td class='n'>32 GB</td><td class='n'>1</td>"},
        {get("/", {{"chip", "M9"}}), 200, "50. (ortanca)</th><td class='n'>37.06</td>"},
        {get("/", {{"chip", "M9"}}), 200, "<input type='hidden' name='a' value='M9'>"},
        {get("/", {{"chip", "m9"}}), 404, "“m9” adında, sonucu olan bir işlemci yok."},
        {get("/compare", {{"a", "M9"}, {"b", "T2"}}), 200,
         "M9, T2 ile kıyaslandığında %47 daha hızlı; orta yarıları örtüşmüyor."},
        {get("/compare", {{"a", "T2"}, {"b", "M9"}}), 200,
         "T2, M9 ile kıyaslandığında %89 daha yavaş; orta yarıları örtüşmüyor."},
        {get("/compare", {{"a", "M9"}, {"b", "M8"}}), 200,
         "%4 daha hızlı; ancak orta yarıları örtüşüyor: fark sonuçların yayılımı içinde"},
        {get("/compare", {{"a", "M9"}, {"b", "M9"}}), 200,
         "aynı hızda; orta yarıları da örtüşüyor"},
        {get("/compare", {{"a", "A1"}, {"b", "M9"}}), 200, "<td class='n'>2 *</td>"},
        {get("/compare", {{"a", "M9"}}), 400, "iki işlemci"},
        {get("/compare", {{"a", "M9"}, {"b", "m"}}), 404, "b=M8'>M8</a>"},
        {get("/compare", {{"a", "t"}, {"b", "M9"}}), 404, "?a=T2&amp;b=M9'>T2</a>"},
        {get("/api/processors", {{"q", "M9"}}), 200,
         "{\"success\":true,\"total\":1,\"offset\":0,\"processors\":[{\"chip\":\"M9\","
         "\"results\":121,\"best\":35.0,\"p10\":35.385,\"q1\":36.015,\"median\":37.065,"},
        {get("/api/processors", {{"sort", "name"}, {"limit", "1"}, {"offset", "1"}}), 200,
         "\"total\":51,\"offset\":1,\"processors\":[{\"chip\":\"M8\""},
        {get("/api/processors", {{"q", "a1"}}), 200, "\"few_results\":true,\"url\":\"/?chip=A1\""},
        {get("/api/processor", {{"chip", "A1"}}), 200,
         "\"held\":0,\"by_memory\":[{\"ram_gb\":8,\"results\":1,\"best\":105.0},"},
        {get("/api/processor", {{"chip", "a1"}}), 404, "işlemci yok"},
        {get("/api/scores", {{"chip", "m9"}, {"limit", "1"}}), 200, "\"total\":121,"},
        {post(clientRecord("M9", 10.5)), 200, R"("id":229,"url":"https://skor.example/r/229")"},
    };
    for (const auto& [request, status, says] : cases) {
        const auto response = service.send(request);
        EXPECT_EQ(response.status, status) << request.path << " " << says;
        EXPECT_NE(response.body.find(says), std::string::npos) << says << "\n" << response.body;
    }
    // Of a processor with few results, a median says little.
    EXPECT_EQ(service.send(get("/r/175")).body.find("işlemcisinin"), std::string::npos);
}

// A name of any characters a client may send comes back unchanged through a search in other
// letter case, the link it finds, the processor's page and the API; a search has no wildcards.
TEST(ProcessorPages, AnyNameComesBackThroughSearchLinkPageAndApi) {
    FileService service;
    std::string longest, lower; // 128 bytes, the longest name stored
    for (int i = 0; i < 64; ++i) {
        longest += "Ç";
        lower += "ç";
    }
    // A name, a search that finds it alone, and the name as a page shows it.
    const std::vector<std::tuple<std::string, std::string, std::string>> names = {
        {"<script>alert(1)</script><b>", "<SCRIPT>ALERT",
         "&lt;script&gt;alert(1)&lt;/script&gt;&lt;b&gt;"},
        {"O'Brien \"Çift\" Tırnak", "\"ÇİFT\" TIRNAK", "O&#39;Brien &quot;Çift&quot; Tırnak"},
        {"100% _Hız\\Kesme", "% _HIZ\\", "100% _Hız\\Kesme"},
        {"A/B#C?D&E=F+G", "b#c?d&e=f+", "A/B#C?D&amp;E=F+G"},
        {"معالج سريع 9", "سريع 9", "معالج سريع 9"},
        {"Roket 🚀 İşlemci", "🚀 IŞLEMCI", "Roket 🚀 İşlemci"},
        {longest, lower, longest},
    };
    for (const auto& [name, search, shown] : names) {
        ASSERT_EQ(service.send(post(clientRecord(name, 10.0))).status, 200) << name;
    }
    EXPECT_EQ(service.send(post(clientRecord(std::string(200, 'x'), 10.0))).status, 400);
    const auto api = [&](const std::string& path, const std::string& key, const std::string& v) {
        return nlohmann::json::parse(service.send(get(path, {{key, v}})).body);
    };
    const std::regex link("<a href='(/\\?chip=[^']*)'>([^<]*)</a>");
    for (const auto& [name, search, shown] : names) {
        const auto listed = service.send(get("/processors", {{"q", search}})).body;
        std::smatch found;
        ASSERT_TRUE(std::regex_search(listed, found, link)) << name;
        EXPECT_EQ(found[2], shown);
        EXPECT_FALSE(std::regex_search(found.suffix().str(), link)) << name << " not alone";
        const auto followed = admitHead({"GET", found[1], {{"Host", "x"}}, "10.0.0.1"}, false);
        ASSERT_TRUE(std::holds_alternative<Request>(followed)) << found[1];
        EXPECT_NE(service.send(std::get<Request>(followed)).body.find("<h1>" + shown + "</h1>"),
                  std::string::npos)
            << found[1];
        const auto rows = api("/api/processors", "q", search)["processors"];
        ASSERT_EQ(rows.size(), 1U) << name;
        EXPECT_EQ(std::make_tuple(rows[0]["chip"], rows[0]["url"], rows[0]["results"]),
                  std::make_tuple(name, found[1].str(), 1));
        EXPECT_EQ(api("/api/processor", "chip", name)["processor"]["chip"], name);
        EXPECT_EQ(api("/api/scores", "chip", name)["scores"][0]["chip_type"], name);
    }
    for (const std::string plain : {"%", "_", "\\", "x"}) { // in one name each but x
        EXPECT_EQ(api("/api/processors", "q", plain)["total"], plain == "x" ? 0 : 1) << plain;
    }
}

} // namespace
} // namespace service
