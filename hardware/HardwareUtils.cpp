#include "hardware/HardwareUtils.h"

#include "hardware/DeviceModel.h"
#include "hardware/MemorySize.h"

#include <unistd.h>

namespace hardware {

std::uint64_t sysconfPhysicalMemoryBytes() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) {
        return 0;
    }
    const auto count = static_cast<std::uint64_t>(pages);
    const auto size = static_cast<std::uint64_t>(pageSize);
    if (count > UINT64_MAX / size) {
        return 0;
    }
    return count * size;
}

std::string HardwareUtils::getSysctl(std::string_view name, const SystemProbe& probe) {
    if (name == "hw.model") {
        return readDeviceModel(probe.root);
    }
    if (name == "machdep.cpu.brand_string") {
        return readCpuBrand(probe.root);
    }
    return {};
}

std::int64_t HardwareUtils::getRAM(const SystemProbe& probe) {
    // Whole gibibytes, truncated; the plausibility bound keeps the quotient far below 2^63.
    return static_cast<std::int64_t>(installedMemoryBytes(probe) >> 30);
}

} // namespace hardware
