#include "service/pages/Chart.h"
#include "service/pages/Html.h"
#include "service/pages/Svg.h"

#include <algorithm>
#include <cmath>

namespace service {
namespace {

// The medians' chart: a row per processor, its name on the left and its
// figures on the right above its bar, which may span the whole width.
constexpr double kChipRow = 44, kChipPlot = kChartWidth - kChartRight - 8;

std::string chipRow(const ChipSummary& chip, double y, double top) {
    const std::string figures =
        formatSeconds(chip.median) + " · " + formatCount(chip.count) + " sonuç";
    // The name gets what the figures leave of the row; it is whole in the table.
    const double room = kChipPlot - 12 - static_cast<double>(figures.size()) * kChartChar;
    const auto letters = static_cast<std::size_t>(std::max(8.0, room / kChartChar));
    const double width = std::max(2.0, chip.median / top * kChipPlot);
    std::string svg = svgText(8, y + 15, escapeHtml(shortened(chip.chip, letters)), "start") +
                      svgText(kChartWidth - kChartRight, y + 15, figures, "end");
    append(svg, "<rect x='8' y='", svgNum(y + 22), "' width='", svgNum(width),
           "' height='14' fill='", kBarFill, "'><title>", escapeHtml(chip.chip), ": ", figures,
           "</title></rect>");
    return svg;
}

// The medians' axis below the bars, `y` down, from 0 to `top`.
std::string medianAxis(double y, double top, double step) {
    std::string axis = svgLine(8, y + 4, 8 + kChipPlot, y + 4, "stroke='#1a1a1a'");
    const int ticks = tickCount(top, step);
    for (int i = 0; i <= ticks; ++i) {
        const double tick = i * step;
        const double x = 8 + tick / top * kChipPlot;
        const char* anchor = tick == 0 ? "start" : x > kChartWidth - 40 ? "end" : "middle";
        axis += svgLine(x, y + 4, x, y + 8, "stroke='#1a1a1a'") +
                svgText(x, y + 24, formatSeconds(tick), anchor);
    }
    return axis + svgText(8 + kChipPlot / 2, y + 44, "Ortanca skor (saniye × 3,5)");
}

} // namespace

std::string chipsFigure(const std::vector<ChipSummary>& chips, std::size_t rows,
                        const std::string& id) {
    const std::vector<ChipSummary> shown(
        chips.begin(), chips.begin() + static_cast<std::ptrdiff_t>(std::min(rows, chips.size())));
    double highest = 0;
    for (const auto& chip : shown) {
        highest = std::max(highest, chip.median);
    }
    const double step = tickStep(highest, 4);
    const double rounded = std::max(step, std::ceil(highest / step) * step);
    const double top = std::isfinite(rounded) ? rounded : highest; // past the largest double
    std::string description = "İşlemcilerin ortanca skorları.";
    std::string chipBars;
    double y = 6;
    for (const auto& chip : shown) {
        description += " " + escapeHtml(chip.chip) + ": ortanca " + formatSeconds(chip.median) +
                       ", " + formatCount(chip.count) + " sonuç.";
        chipBars += chipRow(chip, y, top);
        y += kChipRow;
    }
    std::string html;
    append(html, "<figure>",
           svgStart(kChartWidth, y + 50, id, "İşlemcilere göre ortanca skor", description),
           chipBars, medianAxis(y, top, step),
           "</svg><figcaption>İşlemcilere göre ortanca skor: en çok sonucu olan ",
           std::to_string(shown.size()),
           " işlemci; her çubuğun üstünde ortanca ve sonuç sayısı. Kısa çubuk daha iyidir. "
           "Sayılar aşağıdaki İşlemciler tablosunda da var.</figcaption></figure>");
    return html;
}

} // namespace service
