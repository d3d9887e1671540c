#include "hardware/FactText.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

#include <cstdint>
#include <limits>

namespace hardware {
namespace {

bool isTrimmed(UChar32 c) {
    const auto type = u_charType(c);
    return type == U_CONTROL_CHAR || type == U_FORMAT_CHAR;
}

} // namespace

std::string decodeFactText(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find('\0'));
    // ICU lengths are 32-bit; nothing this layer reads comes close.
    constexpr auto maxLength = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    if (bytes.size() > maxLength) {
        bytes = bytes.substr(0, maxLength);
    }
    const auto text = icu::UnicodeString::fromUTF8(
        icu::StringPiece(bytes.data(), static_cast<std::int32_t>(bytes.size())));

    std::int32_t start = 0;
    std::int32_t end = text.length();
    while (start < end && isTrimmed(text.char32At(start))) {
        start += U16_LENGTH(text.char32At(start));
    }
    while (end > start && isTrimmed(text.char32At(end - 1))) {
        end -= U16_LENGTH(text.char32At(end - 1));
    }
    std::string result;
    text.tempSubStringBetween(start, end).toUTF8String(result);
    return result;
}

} // namespace hardware
