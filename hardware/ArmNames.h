#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hardware {

// The name of a well-known core from its "CPU implementer" and "CPU part" codes, such as
// "ARM Cortex-A72"; "" for a core the table does not know.
std::string armCoreName(std::uint32_t implementer, std::uint32_t part);

// The system-on-chip named by a device tree's raw "compatible" property (NUL-separated
// entries, the board's first), such as "Broadcom BCM2711" for "brcm,bcm2711"; "" when no
// entry after the board's comes from a vendor the table knows.
std::string socNameFromCompatible(std::string_view compatibleBytes);

} // namespace hardware
