#pragma once

#include <string_view>

namespace fuzz {

// Aborts unless text is well-formed UTF-8; a finding libFuzzer then reports as a crash.
void requireUtf8(std::string_view text);

// Aborts unless text is exactly what decodeFactText gives for it: well-formed, no NUL, and
// no control or format character at either end.
void requireDecodedFact(std::string_view text);

} // namespace fuzz
