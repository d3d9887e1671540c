#pragma once
// The pieces the charts are drawn with; coordinates have one decimal and a
// full stop, whatever the locale.

#include <string>

namespace service {

// The charts' text size in viewBox units, one for all their text. The charts
// are 480 wide, and drawn 374 px wide on a 390 px phone: 11.7 px there, and
// no larger than 15 px anywhere, as the stylesheet draws them 30rem at most.
inline constexpr int kChartFont = 15;
// About how wide a character of that text is, to keep labels apart.
inline constexpr double kChartChar = 9;

// The charts' width in viewBox units, the margin right of their plots and
// their bars' colour.
inline constexpr double kChartWidth = 480;
inline constexpr double kChartRight = 8;
inline constexpr const char* kBarFill = "#2f5fa7";

// How many steps of `step` reach `top`: a whole number up to kMaxTicks for
// any input (at most 10), so that no stored value makes an axis run on.
int tickCount(double top, double step);

// A coordinate.
std::string svgNum(double value);
std::string svgText(double x, double y, const std::string& content, const char* anchor = "middle",
                    const char* extra = "");
std::string svgLine(double x1, double y1, double x2, double y2, const char* style);
// An <svg> scaled by its viewBox, labelled by its title and description.
std::string svgStart(double width, double height, const std::string& id, const std::string& title,
                     const std::string& description);

} // namespace service
