#include "service/pages/CompareChart.h"

#include "service/pages/Chart.h"
#include "service/pages/Html.h"
#include "service/pages/Svg.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace service {
namespace {

constexpr double kWidth = 480, kHeight = 280, kLeft = 44, kRight = 8, kTop = 44, kBottom = 224;
constexpr const char* kSolid = "fill='#2f5fa7'";

// A distribution whose bins can be drawn: with a start and a width.
Distribution drawable(Distribution d) {
    if (!(d.binWidth > 0) || !std::isfinite(d.binWidth) || !std::isfinite(d.low)) {
        d.low = std::isfinite(d.low) ? d.low : 0.0;
        d.binWidth = 1.0;
    }
    return d;
}

std::int64_t totalOf(const Distribution& d) {
    return std::accumulate(d.counts.begin(), d.counts.end(), d.below + d.above);
}

double percentOf(std::int64_t count, const Distribution& d) {
    const auto total = totalOf(d);
    return total > 0 ? static_cast<double>(count) / static_cast<double>(total) * 100 : 0;
}

std::string percentText(double percent) {
    return "%" + formatFixed(percent, 0);
}

// The scale both share: from the lower start to the higher end of the bins.
struct Scale {
    double low;
    double high;
    double x(double score) const {
        const double along = (score - low) / (high - low);
        return kLeft +
               std::clamp(std::isfinite(along) ? along : 0.0, 0.0, 1.0) * (kWidth - kRight - kLeft);
    }
};

Scale scaleOf(const Distribution& a, const Distribution& b) {
    const auto end = [](const Distribution& d) {
        return d.low + static_cast<double>(d.counts.size()) * d.binWidth;
    };
    const double low = std::min(a.low, b.low);
    const double high = std::max(end(a), end(b));
    return {low, high > low && std::isfinite(high - low) ? high : low + 1.0};
}

std::string rangeOf(const Distribution& d, std::size_t bin) {
    const double from = d.low + static_cast<double>(bin) * d.binWidth;
    return formatSeconds(from) + "–" + formatSeconds(from + d.binWidth);
}

// One series' bars, each in its half of its bin: the first series left.
std::string series(const Distribution& d, const Scale& scale, double top, bool second,
                   const std::string& name, const std::string& fill) {
    std::string svg;
    for (std::size_t bin = 0; bin < d.counts.size(); ++bin) {
        const double from = scale.x(d.low + static_cast<double>(bin) * d.binWidth);
        const double half = (scale.x(d.low + static_cast<double>(bin + 1) * d.binWidth) - from) / 2;
        const double percent = percentOf(d.counts[bin], d);
        const double height = percent > 0 ? std::max(2.0, percent / top * (kBottom - kTop)) : 0.0;
        append(svg, "<rect x='", svgNum(from + (second ? half : 0.5)), "' y='",
               svgNum(kBottom - height), "' width='", svgNum(std::max(half - 0.5, 0.5)),
               "' height='", svgNum(height), "' ", fill, "><title>", name, ", ", rangeOf(d, bin),
               ": ", percentText(percent), " (", formatCount(d.counts[bin]),
               " sonuç)</title></rect>");
    }
    return svg;
}

std::string axes(const Scale& scale, double top, double step) {
    std::string svg = svgLine(kLeft, kTop, kLeft, kBottom, "stroke='#1a1a1a'") +
                      svgLine(kLeft, kBottom, kWidth - kRight, kBottom, "stroke='#1a1a1a'");
    const auto ticks = static_cast<int>(std::min(10.0, std::floor(top / step + 1e-9)));
    for (int i = 0; i <= ticks; ++i) {
        const double y = kBottom - i * step / top * (kBottom - kTop);
        svg += svgLine(kLeft - 4, y, kWidth - kRight, y, "stroke='#ddd'") +
               svgText(kLeft - 6, y + 4, percentText(i * step), "end");
    }
    for (int i = 0; i <= 4; ++i) {
        const double score = scale.low + i * (scale.high - scale.low) / 4;
        const char* anchor = i == 0 ? "start" : i == 4 ? "end" : "middle";
        svg += svgText(scale.x(score), kBottom + 17, formatSeconds(score), anchor);
    }
    return svg + svgText(kLeft + (kWidth - kLeft) / 2, kBottom + 40, "Skor (saniye × 3,5)") +
           svgText(2, kTop - 8, "Sonuçların yüzdesi", "start");
}

std::string legend(const std::string& nameA, const std::string& nameB, const std::string& fillB) {
    std::string svg;
    append(svg, "<rect x='", svgNum(kLeft), "' y='6' width='14' height='10' ", kSolid, "/>",
           svgText(kLeft + 18, 15, escapeHtml(shortened(nameA, 28)), "start"), "<rect x='",
           svgNum(kLeft + 214), "' y='6' width='14' height='10' ", fillB, "/>",
           svgText(kLeft + 232, 15, escapeHtml(shortened(nameB, 28)), "start"));
    return svg;
}

std::string outside(const Distribution& d, const std::string& name) {
    std::string text;
    if (d.below > 0) {
        text += " " + name + ", " + formatSeconds(d.low) + " altı: " + formatCount(d.below) + ".";
    }
    if (d.above > 0) {
        const double end = d.low + static_cast<double>(d.counts.size()) * d.binWidth;
        text += " " + name + ", " + formatSeconds(end) + " üstü: " + formatCount(d.above) + ".";
    }
    return text;
}

std::string description(const Distribution& a, const Distribution& b, const std::string& nameA,
                        const std::string& nameB) {
    std::string text = nameA + ": " + formatCount(totalOf(a)) + " sonuç. " + nameB + ": " +
                       formatCount(totalOf(b)) + " sonuç.";
    for (std::size_t bin = 0; bin < std::max(a.counts.size(), b.counts.size()); ++bin) {
        const auto& d = bin < a.counts.size() ? a : b;
        text += " " + rangeOf(d, bin) + ":";
        text += bin < a.counts.size() ? " " + nameA + " " + percentText(percentOf(a.counts[bin], a))
                                      : "";
        text += bin < b.counts.size()
                    ? ", " + nameB + " " + percentText(percentOf(b.counts[bin], b))
                    : "";
        text += ".";
    }
    return text + outside(a, nameA) + outside(b, nameB);
}

std::string cell(const Distribution& d, std::size_t bin) {
    if (bin >= d.counts.size()) {
        return "<td></td>";
    }
    std::string html;
    append(html, "<td class='n'>", percentText(percentOf(d.counts[bin], d)), " (",
           formatCount(d.counts[bin]), ")</td>");
    return html;
}

// The bars' numbers for those who would rather read them.
std::string binsTable(const Distribution& a, const Distribution& b, const std::string& nameA,
                      const std::string& nameB) {
    std::string html;
    append(html,
           "<details><summary>Dağılım tablo olarak</summary><table><tr><th scope='col'>Skor "
           "aralığı</th><th scope='col'>",
           nameA, "</th><th scope='col'>", nameB, "</th></tr>");
    for (std::size_t bin = 0; bin < std::max(a.counts.size(), b.counts.size()); ++bin) {
        append(html, "<tr><td>", rangeOf(bin < a.counts.size() ? a : b, bin), "</td>", cell(a, bin),
               cell(b, bin), "</tr>");
    }
    return html + "</table></details>";
}

} // namespace

std::string comparisonFigure(const Distribution& readA, const Distribution& readB,
                             const std::string& nameA, const std::string& nameB,
                             const std::string& id) {
    const auto a = drawable(readA);
    const auto b = drawable(readB);
    const Scale scale = scaleOf(a, b);
    double peak = 0;
    for (const auto* d : {&a, &b}) {
        for (const auto count : d->counts) {
            peak = std::max(peak, percentOf(count, *d));
        }
    }
    const double step = tickStep(peak, 4);
    const double top = std::max(step, std::ceil(peak / step) * step);
    const std::string hatch = "fill='url(#" + id + "-h)' stroke='#1a1a1a'";
    const std::string first = escapeHtml(nameA);
    const std::string second = escapeHtml(nameB);
    const std::string title = "Skorların dağılımı: " + first + " ve " + second;
    std::string html;
    append(html, "<figure>", svgStart(kWidth, kHeight, id, title, description(a, b, first, second)),
           "<defs><pattern id='", id,
           "-h' width='6' height='6' patternUnits='userSpaceOnUse' patternTransform='rotate(45)'>"
           "<rect width='6' height='6' fill='#fff'/><line x1='0' y1='0' x2='0' y2='6' "
           "stroke='#1a1a1a' stroke-width='3'/></pattern></defs>",
           axes(scale, top, step), series(a, scale, top, false, first, kSolid),
           series(b, scale, top, true, second, hatch), legend(nameA, nameB, hatch),
           "</svg><figcaption>", title, ". Her çubuk, o işlemcinin sonuçlarının o skor ",
           "aralığındaki yüzdesidir: ", first, " düz, ", second,
           " taralı çubuklarla. Kısa süre daha iyidir.</figcaption>",
           binsTable(a, b, first, second), "</figure>");
    return html;
}

} // namespace service
