#include "service/pages/Chart.h"

#include "service/pages/Html.h"
#include "service/pages/Svg.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace service {
namespace {

// Above the plot, a row for the markers' key and one for the counts' axis
// title, so that no label lies on a bar, a line or another label.
constexpr double kWidth = kChartWidth, kRight = kChartRight;
constexpr double kHeight = 302, kLeft = 64, kTop = 62, kBottom = 244;
constexpr const char* kBar = kBarFill;
constexpr const char* kOutside = "#8a5200";
constexpr const char* kMark = "#b00020";
constexpr const char* kMedianStroke = "stroke='#1a1a1a' stroke-width='2' stroke-dasharray='5 3'";
constexpr const char* kMarkStroke = "stroke='#b00020' stroke-width='2'";

// One slot per bin, plus one on either side for the results outside them.
struct Slots {
    const Distribution& d;
    double width;
    int first; // 1 when there is a slot for the results below the bins
    double left(int slot) const { return kLeft + slot * width; }
    double xOf(double score) const {
        const auto bins = static_cast<double>(d.counts.size());
        const double along = (score - d.low) / d.binWidth;
        if (!(along >= 0)) { // below the bins, or no number at all
            return left(0) + width / 2;
        }
        if (along > bins && d.above > 0) {
            return left(first + static_cast<int>(bins)) + width / 2;
        }
        return left(first) + std::min(along, bins) * width;
    }
};

// The upper edge of the last bin.
double upperEdge(const Distribution& d) {
    return d.low + static_cast<double>(d.counts.size()) * d.binWidth;
}

std::string rangeText(const Distribution& d, std::size_t bin) {
    const double from = d.low + static_cast<double>(bin) * d.binWidth;
    return formatSeconds(from) + "–" + formatSeconds(from + d.binWidth);
}

// One slot's bar: the results of a bin, or those outside the bins.
struct Bar {
    int slot;
    std::int64_t count;
    std::string label;
    const char* fill;
};

std::string rect(const Slots& slots, const Bar& bar, std::int64_t top) {
    const double height = barHeight(bar.count, top, kBottom - kTop);
    std::string svg;
    append(svg, "<rect x='", svgNum(slots.left(bar.slot) + 1), "' y='", svgNum(kBottom - height),
           "' width='", svgNum(slots.width - 2), "' height='", svgNum(height), "' fill='", bar.fill,
           "'><title>", bar.label, ": ", std::to_string(bar.count), " sonuç</title></rect>");
    return svg;
}

// A bar's count above it, where it fits the bar's width.
std::string countText(const Slots& slots, const Bar& bar, std::int64_t top) {
    const std::string count = std::to_string(bar.count);
    if (bar.count <= 0 || static_cast<double>(count.size()) * kChartChar > slots.width) {
        return "";
    }
    const double height = barHeight(bar.count, top, kBottom - kTop);
    return svgText(slots.left(bar.slot) + slots.width / 2, kBottom - height - 4, count);
}

std::string yAxis(std::int64_t top, double step) {
    std::string svg = svgLine(kLeft, kTop, kLeft, kBottom, "stroke='#1a1a1a'");
    const int ticks = tickCount(static_cast<double>(top), step);
    for (int i = 0; i <= ticks; ++i) {
        const double tick = i * step;
        const double y = kBottom - tick / static_cast<double>(top) * (kBottom - kTop);
        svg += svgLine(kLeft - 4, y, kWidth - kRight, y, "stroke='#ddd'");
        svg += svgText(kLeft - 6, y + 4, formatCount(std::llround(tick)), "end");
    }
    return svg + svgText(2, 38, "Sonuç sayısı", "start");
}

std::string xAxis(const Slots& s) {
    const auto bins = static_cast<int>(s.d.counts.size());
    std::string svg = svgLine(kLeft, kBottom, kWidth - kRight, kBottom, "stroke='#1a1a1a'");
    const int every = std::max(1, (bins + 3) / 4);
    for (int edge = 0; edge <= bins; edge += every) {
        const double x = s.left(s.first + edge);
        svg += svgLine(x, kBottom, x, kBottom + 4, "stroke='#1a1a1a'");
        svg += svgText(x, kBottom + 19, formatSeconds(s.d.low + edge * s.d.binWidth),
                       x > kWidth - kRight - 20 ? "end" : "middle");
    }
    const double high = s.d.low + bins * s.d.binWidth;
    if (s.first == 1) {
        svg += svgText(s.left(0), kBottom + 37, "&lt;" + formatSeconds(s.d.low), "start");
    }
    if (s.d.above > 0) {
        svg +=
            svgText(s.left(s.first + bins + 1), kBottom + 37, "&gt;" + formatSeconds(high), "end");
    }
    return svg + svgText(kLeft + (kWidth - kLeft) / 2, kHeight - 6, "Skor (saniye × 3,5)");
}

// The markers' key on the top row: the median from the left, this result
// from the right, each with a piece of its line.
std::string legend(std::optional<double> median, std::optional<double> marked) {
    std::string svg;
    if (median) {
        svg += svgLine(2, 11, 22, 11, kMedianStroke) +
               svgText(26, 16, "ortanca " + formatSeconds(*median), "start");
    }
    if (marked) {
        const double right = kWidth - kRight;
        svg += svgLine(right - 20, 11, right, 11, kMarkStroke) +
               svgText(right - 24, 16, "bu sonuç " + formatSeconds(*marked), "end",
                       (std::string(" fill='") + kMark + "'").c_str());
    }
    return svg;
}

std::string description(const Distribution& d, std::optional<double> median,
                        std::optional<double> marked) {
    const auto total = std::accumulate(d.counts.begin(), d.counts.end(), d.below + d.above);
    std::string text = formatCount(total) + " sonuç.";
    if (median) {
        text += " Ortanca: " + formatSeconds(*median) + ".";
    }
    if (marked) {
        text += " Bu sonuç: " + formatSeconds(*marked) + ".";
    }
    if (d.below > 0) {
        text += " " + formatSeconds(d.low) + " altı: " + formatCount(d.below) + ".";
    }
    for (std::size_t i = 0; i < d.counts.size(); ++i) {
        text += " " + rangeText(d, i) + ": " + formatCount(d.counts[i]) + ".";
    }
    if (d.above > 0) {
        text += " " + formatSeconds(upperEdge(d)) + " üstü: " + formatCount(d.above) + ".";
    }
    return text;
}

std::string distributionTable(const Distribution& d) {
    std::string html = "<details><summary>Dağılım tablo olarak</summary><table><tr><th "
                       "scope='col'>Skor aralığı</th><th scope='col' class='n'>Sonuç</th></tr>";
    const auto row = [&html](const std::string& range, std::int64_t count) {
        append(html, "<tr><td>", range, "</td><td class='n'>", formatCount(count), "</td></tr>");
    };
    if (d.below > 0) {
        row(formatSeconds(d.low) + " altı", d.below);
    }
    for (std::size_t i = 0; i < d.counts.size(); ++i) {
        row(rangeText(d, i), d.counts[i]);
    }
    if (d.above > 0) {
        row(formatSeconds(upperEdge(d)) + " üstü", d.above);
    }
    return html + "</table></details>";
}

// Every bin's bar, and those of the results outside the bins.
std::vector<Bar> barsOf(const Slots& s) {
    const auto& d = s.d;
    std::vector<Bar> bars;
    if (s.first == 1) {
        bars.push_back({0, d.below, formatSeconds(d.low) + " altı", kOutside});
    }
    for (std::size_t i = 0; i < d.counts.size(); ++i) {
        bars.push_back({s.first + static_cast<int>(i), d.counts[i], rangeText(d, i), kBar});
    }
    if (d.above > 0) {
        bars.push_back({s.first + static_cast<int>(d.counts.size()), d.above,
                        formatSeconds(upperEdge(d)) + " üstü", kOutside});
    }
    return bars;
}

// The bars, the markers' lines over them and the counts over the lines, each
// count on a white edge, so that a line never hides one.
std::string plot(const Slots& s, std::int64_t top, std::optional<double> median,
                 std::optional<double> marked) {
    const auto bars = barsOf(s);
    std::string svg;
    for (const auto& bar : bars) {
        svg += rect(s, bar, top);
    }
    for (const auto& [score, stroke] : {std::pair{median, kMedianStroke}, {marked, kMarkStroke}}) {
        if (score) {
            svg += svgLine(s.xOf(*score), kTop, s.xOf(*score), kBottom, stroke);
        }
    }
    svg += "<g stroke='#fff' stroke-width='4' stroke-linejoin='round' paint-order='stroke'>";
    for (const auto& bar : bars) {
        svg += countText(s, bar, top);
    }
    return svg + "</g>";
}

} // namespace

double tickStep(double max, int ticks) {
    if (!(max > 0) || !std::isfinite(max) || ticks < 1) {
        return 1;
    }
    const double raw = max / ticks;
    const double power = std::pow(10, std::floor(std::log10(raw)));
    if (!(power >= std::numeric_limits<double>::min()) || !std::isfinite(10 * power)) {
        return max; // too small or too large to round: one interval
    }
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * power >= raw) {
            return factor * power;
        }
    }
    return 10 * power;
}

double barHeight(std::int64_t count, std::int64_t top, double plotHeight) {
    if (count <= 0 || top <= 0) {
        return 0;
    }
    return std::max(2.0, static_cast<double>(count) / static_cast<double>(top) * plotHeight);
}

std::string distributionFigure(const Distribution& read, const std::string& chip,
                               std::optional<double> median, std::optional<double> marked,
                               const std::string& id) {
    // Bins that cannot be drawn (no width, no start) are drawn a second wide from 0.
    Distribution d = read;
    if (!(d.binWidth > 0) || !std::isfinite(d.binWidth) || !std::isfinite(d.low)) {
        d.low = std::isfinite(d.low) ? d.low : 0.0;
        d.binWidth = 1.0;
    }
    const auto bins = static_cast<int>(d.counts.size());
    const int first = d.below > 0 ? 1 : 0;
    const int slots = std::max(1, first + bins + (d.above > 0 ? 1 : 0));
    const Slots s{d, (kWidth - kRight - kLeft) / slots, first};
    std::int64_t peak = std::max(d.below, d.above);
    for (const auto count : d.counts) {
        peak = std::max(peak, count);
    }
    const double step = std::max(1.0, tickStep(static_cast<double>(peak), 4)); // whole results
    const auto top = std::max<std::int64_t>(
        1, static_cast<std::int64_t>(std::ceil(static_cast<double>(peak) / step) * step));
    const std::string title = "Skorların dağılımı: " + escapeHtml(chip);
    std::string html;
    append(html, "<figure>", svgStart(kWidth, kHeight, id, title, description(d, median, marked)),
           yAxis(top, step), plot(s, top, median, marked), xAxis(s), legend(median, marked),
           "</svg><figcaption>", title, ". Çubuklar her skor aralığındaki sonuç sayısıdır",
           median ? "; kesikli çizgi ortanca" : "", marked ? ", kırmızı çizgi bu sonuç" : "",
           ". Kısa süre daha iyidir.",
           d.below > 0 || d.above > 0
               ? " Aralığın çok dışındaki sonuçlar kenardaki turuncu çubuklarda sayılır."
               : "",
           "</figcaption>", distributionTable(d), "</figure>");
    return html;
}

} // namespace service
