#include "service/pages/Chart.h"

#include "service/pages/Html.h"
#include "service/pages/Svg.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace service {
namespace {

constexpr double kWidth = 480, kHeight = 260, kLeft = 44, kRight = 8, kTop = 22, kBottom = 204;
constexpr const char* kBar = "#2f5fa7";
constexpr const char* kOutside = "#8a5200";
constexpr const char* kMark = "#b00020";

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

std::string bar(const Slots& slots, int slot, std::int64_t count, std::int64_t top,
                const std::string& label, const char* fill) {
    const double height = barHeight(count, top, kBottom - kTop);
    std::string svg;
    append(svg, "<rect x='", svgNum(slots.left(slot) + 1), "' y='", svgNum(kBottom - height),
           "' width='", svgNum(slots.width - 2), "' height='", svgNum(height), "' fill='", fill,
           "'><title>", label, ": ", std::to_string(count), " sonuç</title></rect>");
    const auto digits = static_cast<double>(std::to_string(count).size());
    if (count > 0 && digits * 6.5 <= slots.width) {
        svg += svgText(slots.left(slot) + slots.width / 2, kBottom - height - 3,
                       std::to_string(count), "middle", " font-size='11'");
    }
    return svg;
}

// How many steps of `step` reach `top`: a whole number up to kMaxTicks for
// any input, so that no stored value makes an axis run on.
int tickCount(double top, double step) {
    constexpr int kMaxTicks = 10;
    const double steps = top / step;
    // Whole steps only: a tick past the top may lie past the largest double.
    return steps >= 0 && steps < kMaxTicks ? static_cast<int>(std::floor(steps + 1e-9)) : kMaxTicks;
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
    return svg + svgText(2, 12, "Sonuç sayısı", "start");
}

std::string xAxis(const Slots& s) {
    const auto bins = static_cast<int>(s.d.counts.size());
    std::string svg = svgLine(kLeft, kBottom, kWidth - kRight, kBottom, "stroke='#1a1a1a'");
    const int every = std::max(1, (bins + 3) / 4);
    for (int edge = 0; edge <= bins; edge += every) {
        const double x = s.left(s.first + edge);
        svg += svgLine(x, kBottom, x, kBottom + 4, "stroke='#1a1a1a'");
        svg += svgText(x, kBottom + 17, formatSeconds(s.d.low + edge * s.d.binWidth),
                       x > kWidth - kRight - 20 ? "end" : "middle");
    }
    const double high = s.d.low + bins * s.d.binWidth;
    if (s.first == 1) {
        svg += svgText(s.left(0), kBottom + 31, "&lt;" + formatSeconds(s.d.low), "start");
    }
    if (s.d.above > 0) {
        svg +=
            svgText(s.left(s.first + bins + 1), kBottom + 31, "&gt;" + formatSeconds(high), "end");
    }
    return svg + svgText(kLeft + (kWidth - kLeft) / 2, kHeight - 6, "Skor (saniye × 3,5)");
}

std::string marker(const Slots& s, double score, const char* label, double labelY,
                   const char* colour, const char* dash) {
    const double x = s.xOf(score);
    std::string style = std::string("stroke='") + colour + "' stroke-width='2'" + dash;
    const char* anchor = x > kWidth * 0.75 ? "end" : "start";
    return svgLine(x, kTop - 2, x, kBottom, style.c_str()) +
           svgText(x + (anchor[0] == 'e' ? -3 : 3), labelY, label + formatSeconds(score), anchor,
                   (std::string(" fill='") + colour + "'").c_str());
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
std::string bars(const Slots& s, std::int64_t top) {
    const auto& d = s.d;
    const auto bins = static_cast<int>(d.counts.size());
    std::string svg;
    if (s.first == 1) {
        svg += bar(s, 0, d.below, top, formatSeconds(d.low) + " altı", kOutside);
    }
    for (int i = 0; i < bins; ++i) {
        svg += bar(s, s.first + i, d.counts[static_cast<std::size_t>(i)], top,
                   rangeText(d, static_cast<std::size_t>(i)), kBar);
    }
    if (d.above > 0) {
        svg += bar(s, s.first + bins, d.above, top,
                   formatSeconds(d.low + bins * d.binWidth) + " üstü", kOutside);
    }
    return svg;
}

// The medians' axis below the bars, `y` down, `plot` wide, from 0 to `top`.
std::string medianAxis(double y, double plot, double top, double step) {
    std::string axis = svgLine(8, y + 4, 8 + plot, y + 4, "stroke='#1a1a1a'");
    const int ticks = tickCount(top, step);
    for (int i = 0; i <= ticks; ++i) {
        const double tick = i * step;
        const double x = 8 + tick / top * plot;
        axis += svgLine(x, y + 4, x, y + 8, "stroke='#1a1a1a'") +
                svgText(x, y + 21, formatSeconds(tick), tick == 0 ? "start" : "middle");
    }
    return axis + svgText(8 + plot / 2, y + 35, "Ortanca skor (saniye × 3,5)");
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
    std::string svg =
        svgStart(kWidth, kHeight, id, title, description(d, median, marked)) + yAxis(top, step);
    svg += bars(s, top) + xAxis(s);
    if (median) {
        svg += marker(s, *median, "ortanca ", 12, "#1a1a1a", " stroke-dasharray='5 3'");
    }
    if (marked) {
        svg += marker(s, *marked, "bu sonuç ", kTop + 12, kMark, "");
    }
    std::string html;
    append(html, "<figure>", svg, "</svg><figcaption>", title,
           ". Çubuklar her skor aralığındaki sonuç sayısıdır",
           median ? "; kesikli çizgi ortanca" : "", marked ? ", kırmızı çizgi bu sonuç" : "",
           ". Kısa süre daha iyidir. Aralığın çok dışındaki sonuçlar kenardaki turuncu çubuklarda "
           "sayılır.</figcaption>",
           distributionTable(d), "</figure>");
    return html;
}

std::string chipsFigure(const std::vector<ChipSummary>& chips, std::size_t rows,
                        const std::string& id) {
    constexpr double kRow = 38, kLabel = 96;
    const std::vector<ChipSummary> shown(
        chips.begin(), chips.begin() + static_cast<std::ptrdiff_t>(std::min(rows, chips.size())));
    double highest = 0;
    for (const auto& chip : shown) {
        highest = std::max(highest, chip.median);
    }
    const double step = tickStep(highest, 4);
    const double rounded = std::max(step, std::ceil(highest / step) * step);
    const double top = std::isfinite(rounded) ? rounded : highest; // past the largest double
    const double plot = kWidth - kRight - 8 - kLabel;
    const double height = 20 + static_cast<double>(shown.size()) * kRow + 40;
    std::string description = "İşlemcilerin ortanca skorları.";
    std::string chipBars;
    double y = 20;
    for (const auto& chip : shown) {
        const std::string name = escapeHtml(chip.chip);
        const std::string figures =
            formatSeconds(chip.median) + " · " + formatCount(chip.count) + " sonuç";
        description += " " + name + ": ortanca " + formatSeconds(chip.median) + ", " +
                       formatCount(chip.count) + " sonuç.";
        const double width = std::max(2.0, chip.median / top * plot);
        chipBars += svgText(8, y + 12, escapeHtml(shortened(chip.chip, 60)), "start");
        append(chipBars, "<rect x='8' y='", svgNum(y + 17), "' width='", svgNum(width),
               "' height='14' fill='", kBar, "'><title>", name, ": ", figures, "</title></rect>");
        chipBars += svgText(8 + width + 4, y + 29, figures, "start", " font-size='11'");
        y += kRow;
    }
    const std::string axis = medianAxis(y, plot, top, step);
    std::string html;
    append(html, "<figure>",
           svgStart(kWidth, height, id, "İşlemcilere göre ortanca skor", description), chipBars,
           axis, "</svg><figcaption>İşlemcilere göre ortanca skor: en çok sonucu olan ",
           std::to_string(shown.size()),
           " işlemci; her çubuğun yanında ortanca ve sonuç sayısı. Kısa çubuk daha iyidir. "
           "Sayılar aşağıdaki İşlemciler tablosunda da var.</figcaption></figure>");
    return html;
}

} // namespace service
