#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The fixed texts and number formats of the hardware card and the score, for
// every front end that shows them.
namespace model::texts {

inline constexpr const char* kDeviceLabel = "Donanım Modeli:";
inline constexpr const char* kChipLabel = "İşlemci / Çip:";
inline constexpr const char* kRamLabel = "Bütünleşik Bellek (RAM):";
inline constexpr const char* kScoreCaption = "Xcode Build Derleme Skoru";

// Plain decimal, no digit grouping, whatever the locale ("%lld").
std::string formatInteger(std::int64_t value);

// One digit after a full stop, whatever the locale ("%.1f"): 12.34 → "12.3".
std::string formatOneDecimal(double value);

// The memory row's value: 16 → "16 GB".
std::string ramText(std::int64_t ramGB);

// The score panel's value: 12.34 → "12.3 Saniye".
std::string scoreText(double seconds);

} // namespace model::texts
