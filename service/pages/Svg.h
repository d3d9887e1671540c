#pragma once
// The pieces the charts are drawn with; coordinates have one decimal and a
// full stop, whatever the locale.

#include <string>

namespace service {

// A coordinate.
std::string svgNum(double value);
std::string svgText(double x, double y, const std::string& content, const char* anchor = "middle",
                    const char* extra = "");
std::string svgLine(double x1, double y1, double x2, double y2, const char* style);
// An <svg> scaled by its viewBox, labelled by its title and description.
std::string svgStart(double width, double height, const std::string& id, const std::string& title,
                     const std::string& description);

} // namespace service
