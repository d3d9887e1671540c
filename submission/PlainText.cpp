#include "submission/PlainText.h"

#include <array>
#include <charconv>

namespace submission {

std::string shortestText(double value) {
    std::array<char, 32> text{}; // the shortest form of any double fits
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
    return {text.data(), end};
}

std::string fixedText(double value, int decimals) {
    // Room for every finite double: the largest has 309 digits before the point.
    std::array<char, 512> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value,
                                   std::chars_format::fixed, decimals)
                         .ptr;
    return {text.data(), end};
}

std::size_t codePoints(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

} // namespace submission
