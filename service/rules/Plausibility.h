#pragma once

#include "submission/Payload.h"

#include <optional>
#include <string>
#include <variant>

namespace service {

inline constexpr double kMaxSeconds = 3600.0;
// The fastest run any machine can make. Each of the 24 children is a chain of
// 35,000,000 dependent additions, so a run takes at least 35 M times one
// addition's latency, on any number of cores. Assumed: one cycle (real cores
// take 2 to 4) at 7 GHz (no processor reaches it), so 5 ms; real machines need
// 11 ms or more. xcode_build_sec is the run's time times kBuildFactor; resin_slicer_sec
// is bound to it by their ratio.
inline constexpr double kFastestRunSeconds = 35e6 / 7e9;
// As written in the README, so that a record of exactly 0.0175 is taken.
inline constexpr double kMinBuildSeconds = 0.0175;
static_assert(kMinBuildSeconds > kFastestRunSeconds * submission::kBuildFactor * (1 - 1e-12) &&
              kMinBuildSeconds < kFastestRunSeconds * submission::kBuildFactor * (1 + 1e-12));
inline constexpr std::int64_t kMinRamGb = 1;
inline constexpr std::int64_t kMaxRamGb = 65536;
// A die that reads below freezing or above any processor's shutdown point was
// not measured; the client itself always reports 84.
inline constexpr std::int64_t kMinTempC = 0;
inline constexpr std::int64_t kMaxTempC = 150;
// 16 TiB of swap in use is beyond any machine that runs the client (it sends 0).
inline constexpr std::int64_t kMaxSwapMb = std::int64_t{16} * 1024 * 1024;
inline constexpr std::size_t kMaxNameBytes = 128;
inline constexpr double kResinTolerance = 1e-9;

// The record as it is stored, its names in NFC so that one spelling stands for
// each name; or the Turkish reason the client could not have produced it,
// naming the member.
std::variant<submission::Payload, std::string> plausibleRecord(submission::Payload payload);

} // namespace service
