#include "model/Texts.h"

#include <array>
#include <charconv>

namespace model::texts {

// std::to_chars never consults the locale, unlike printf, which Qt's own
// setlocale() call would turn to a decimal comma under tr_TR.
std::string formatInteger(std::int64_t value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

std::string formatOneDecimal(double value) {
    std::array<char, 512> buffer{}; // room for the largest double written in full
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, 1);
    return std::string(buffer.data(), result.ptr);
}

std::string ramText(std::int64_t ramGB) {
    return formatInteger(ramGB) + " GB";
}

std::string scoreText(double seconds) {
    return formatOneDecimal(seconds) + " Saniye";
}

} // namespace model::texts
