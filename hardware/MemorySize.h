#pragma once

#include "hardware/SystemProbe.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace hardware {

// No machine has more: physical addresses on x86-64 and arm64 are at most 52 bits wide.
// A larger figure from any source is taken as garbage, not as memory.
inline constexpr std::uint64_t maxPlausibleMemoryBytes = std::uint64_t{1} << 52;

// The total of the MEMORY_DEVICE_<n>_SIZE properties in a udev database record; nullopt
// when there are none, they add up to 0, or the total is not plausible.
std::optional<std::uint64_t> parseUdevMemoryDeviceBytes(std::string_view record);

// MemTotal from the text of /proc/meminfo, in bytes; nullopt when absent or not plausible.
std::optional<std::uint64_t> parseMemTotalBytes(std::string_view meminfo);

// The hexadecimal figure of block_size_bytes; nullopt when it is not one or is 0.
std::optional<std::uint64_t> parseBlockSizeBytes(std::string_view text);

// Installed memory in bytes from the best source readable under the probe's root, never less
// than MemTotal; 0 when no source can be read.
std::uint64_t installedMemoryBytes(const SystemProbe& probe);

} // namespace hardware
