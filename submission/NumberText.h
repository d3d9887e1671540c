#pragma once

#include <string>

// Numbers as text with a full stop, whatever the locale: std::to_chars never
// consults it, where printf would take a decimal comma from Qt's setlocale()
// under tr_TR. Every program's numbers are written through these two.
namespace submission {

// The shortest text that reads back as the same double: 0.1 → "0.1".
std::string shortestText(double value);

// `decimals` places after the point: (12.345, 1) → "12.3".
std::string fixedText(double value, int decimals);

} // namespace submission
