#pragma once

#include <string>
#include <string_view>

namespace hardware {

// The text of a hardware fact from its raw bytes: the bytes before the first NUL, decoded as
// UTF-8 with each ill-formed sequence replaced by U+FFFD, then stripped at both ends of
// control (Cc) and format (Cf) characters. Spaces are not controls and stay.
std::string decodeFactText(std::string_view bytes);

} // namespace hardware
