#include "Utf8Check.h"

#include "hardware/FactText.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {
namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

bool isTrimmed(UChar32 c) {
    const auto type = u_charType(c);
    return type == U_CONTROL_CHAR || type == U_FORMAT_CHAR;
}

} // namespace

void requireUtf8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    for (std::int32_t at = 0; at < length;) {
        UChar32 c = 0;
        U8_NEXT(bytes, at, length, c);
        if (c < 0) {
            fail("output is not well-formed UTF-8");
        }
    }
}

void requireDecodedFact(std::string_view text) {
    requireUtf8(text);
    if (text.find('\0') != std::string_view::npos) {
        fail("output holds a NUL");
    }
    if (text.empty()) {
        return;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    UChar32 first = 0;
    std::int32_t at = 0;
    U8_NEXT(bytes, at, length, first);
    UChar32 last = 0;
    at = length;
    U8_PREV(bytes, 0, at, last);
    if (isTrimmed(first) || isTrimmed(last)) {
        fail("output starts or ends with a control or format character");
    }
    // Decoding is a fixed point: what it gives back, it gives back unchanged.
    if (hardware::decodeFactText(text) != text) {
        fail("decoding the output changes it");
    }
}

} // namespace fuzz
