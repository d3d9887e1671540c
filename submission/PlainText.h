#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// What every program needs of plain text. Numbers with a full stop, whatever
// the locale: std::to_chars never consults it, where printf would take a
// decimal comma from Qt's setlocale() under tr_TR.
namespace submission {

// The shortest text that reads back as the same double: 0.1 → "0.1".
std::string shortestText(double value);

// `decimals` places after the point: (12.345, 1) → "12.3".
std::string fixedText(double value, int decimals);

// How many characters (code points) UTF-8 `text` holds: a width on a
// terminal, room in the client's status line.
std::size_t codePoints(std::string_view text);

} // namespace submission
