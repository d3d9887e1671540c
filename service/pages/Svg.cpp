#include "service/pages/Svg.h"

#include "service/pages/Html.h"

#include <cmath>

namespace service {

int tickCount(double top, double step) {
    constexpr int kMaxTicks = 10;
    const double steps = top / step;
    // Whole steps only: a tick past the top may lie past the largest double.
    return steps >= 0 && steps < kMaxTicks ? static_cast<int>(std::floor(steps + 1e-9)) : kMaxTicks;
}

std::string svgNum(double value) {
    return formatFixed(value, 1);
}

std::string svgText(double x, double y, const std::string& content, const char* anchor,
                    const char* extra) {
    std::string svg;
    append(svg, "<text x='", svgNum(x), "' y='", svgNum(y), "' text-anchor='", anchor, "'", extra,
           ">", content, "</text>");
    return svg;
}

std::string svgLine(double x1, double y1, double x2, double y2, const char* style) {
    std::string svg;
    append(svg, "<line x1='", svgNum(x1), "' y1='", svgNum(y1), "' x2='", svgNum(x2), "' y2='",
           svgNum(y2), "' ", style, "/>");
    return svg;
}

std::string svgStart(double width, double height, const std::string& id, const std::string& title,
                     const std::string& description) {
    std::string svg;
    append(svg, "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 ",
           std::to_string(std::lround(width)), " ", std::to_string(std::lround(height)),
           "' role='img' aria-labelledby='", id, "-t ", id, "-d' font-size='",
           std::to_string(kChartFont), "' ", "font-family='sans-serif' fill='#1a1a1a'><title id='",
           id, "-t'>", title, "</title><desc id='", id, "-d'>", description, "</desc>");
    return svg;
}

} // namespace service
