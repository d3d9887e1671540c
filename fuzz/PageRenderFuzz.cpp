// The pages and charts drawn from whatever a database may hold: any finite time, median and
// bin width, any counts a table can keep, names of any bytes. Each render must end, stay within
// a size set by what it shows, and never write a coordinate that is not a number.
#include "service/pages/LeaderboardPage.h"
#include "service/pages/ResultPage.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <string_view>

namespace {

using namespace service;

constexpr std::int64_t kMaxStoredCount = std::int64_t{1} << 40;

std::int64_t count(FuzzedDataProvider& in) {
    return in.ConsumeIntegralInRange<std::int64_t>(0, kMaxStoredCount);
}

Distribution distribution(FuzzedDataProvider& in) {
    Distribution d;
    d.low = in.ConsumeFloatingPoint<double>();
    d.binWidth = in.ConsumeFloatingPoint<double>();
    d.counts.resize(in.ConsumeIntegralInRange<std::size_t>(0, 40));
    for (auto& bin : d.counts) {
        bin = count(in);
    }
    d.below = count(in);
    d.above = count(in);
    return d;
}

StoredScore score(FuzzedDataProvider& in) {
    StoredScore s;
    s.id = in.ConsumeIntegralInRange<std::int64_t>(1, kMaxStoredCount);
    s.receivedAt = in.ConsumeRandomLengthString(40);
    s.payload.device_name = in.ConsumeRandomLengthString(200);
    s.payload.chip_type = in.ConsumeRandomLengthString(200);
    s.payload.ram_gb = in.ConsumeIntegral<std::int64_t>();
    s.payload.xcode_build_sec = in.ConsumeFloatingPoint<double>();
    s.client = {in.ConsumeRandomLengthString(64), in.ConsumeRandomLengthString(32)};
    return s;
}

// A chart attribute that is no number. Inside a chart, names are only text
// between tags; outside, a form's option may hold one as its value.
bool notANumber(const std::string& html) {
    const std::string_view text(html);
    for (auto from = text.find("<svg"); from != text.npos; from = text.find("<svg", from + 1)) {
        const auto chart = text.substr(from, text.find("</svg>", from) - from);
        for (const char* bad : {"='nan", "='-nan", "='inf", "='-inf"}) {
            if (chart.find(bad) != text.npos) {
                return true;
            }
        }
    }
    return false;
}

void check(const std::string& html, std::size_t items) {
    // The fixed text of a page, a few kB for each row, bar or bin, and its
    // names escaped (six bytes for one at most) in several places each.
    const std::size_t bound = 64 * 1024 + items * 4096;
    if (html.size() > bound || notANumber(html)) {
        std::fprintf(stderr, "%zu bytes for %zu items\n", html.size(), items);
        std::fwrite(html.data(), 1, html.size(), stderr);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const auto d = distribution(in);
    const auto median = in.ConsumeFloatingPoint<double>();
    ResultData result{{score(in), count(in), count(in)}, median, d};
    check(renderResult(result), d.counts.size() + 1);

    LeaderboardData page;
    page.chips.resize(in.ConsumeIntegralInRange<std::size_t>(0, 30));
    for (auto& chip : page.chips) {
        chip = {in.ConsumeRandomLengthString(200), in.ConsumeFloatingPoint<double>(),
                in.ConsumeFloatingPoint<double>(), count(in)};
    }
    page.best.resize(in.ConsumeIntegralInRange<std::size_t>(0, kPageRows));
    for (auto& row : page.best) {
        row = score(in);
    }
    page.total = count(in);
    const auto html = renderLeaderboard(page, in.ConsumeIntegralInRange(1, kMaxPage));
    check(html, page.chips.size() * 2 + page.best.size());
    return 0;
}
