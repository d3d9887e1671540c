#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hardware {

// What /proc/cpuinfo says about the first processor it lists.
struct CpuInfo {
    std::string modelName; // decoded "model name"; "" when the kernel gives none (arm64)
    std::optional<std::uint32_t> implementer; // "CPU implementer" code
    std::optional<std::uint32_t> part;        // "CPU part" code
};

// Reads the first processor's entries from the text of /proc/cpuinfo. Any input is accepted;
// what cannot be understood is left empty.
CpuInfo parseCpuInfo(std::string_view text);

} // namespace hardware
