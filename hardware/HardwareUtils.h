#pragma once

#include "hardware/SystemProbe.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace hardware {

// Reads the machine's hardware facts. Stateless: every call asks the system afresh.
class HardwareUtils {
public:
    HardwareUtils() = delete;

    // The text of a named fact, or "" when it cannot be read. Served names:
    // "hw.model" (hardware model identifier) and "machdep.cpu.brand_string"
    // (processor brand string); any other name yields "".
    static std::string getSysctl(std::string_view name, const SystemProbe& probe = {});

    // Installed physical memory in whole GiB (truncated), or 0 when unknown.
    static std::int64_t getRAM(const SystemProbe& probe = {});
};

} // namespace hardware
