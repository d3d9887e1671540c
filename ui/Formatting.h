#pragma once

#include <cstdint>
#include <string>

namespace ui {

// Plain decimal, no digit grouping, whatever the locale ("%lld").
std::string formatInteger(std::int64_t value);

// One digit after a full stop, whatever the locale ("%.1f"): 12.34 → "12.3".
std::string formatOneDecimal(double value);

} // namespace ui
