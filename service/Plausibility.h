#pragma once

#include "submission/Payload.h"

#include <optional>
#include <string>
#include <string_view>

namespace service {

inline constexpr double kMaxSeconds = 3600.0;
inline constexpr std::int64_t kMinRamGb = 1;
inline constexpr std::int64_t kMaxRamGb = 65536;
inline constexpr std::size_t kMaxNameBytes = 128;
inline constexpr double kResinTolerance = 1e-9;

// The Turkish reason the client could not have produced this record, naming
// the member; nothing when the record is plausible.
std::optional<std::string> implausibility(const submission::Payload& payload);

// Why a name is unfit to store and show; nothing when it is fine.
std::optional<std::string> nameProblem(std::string_view member, std::string_view name);

} // namespace service
