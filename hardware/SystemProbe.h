#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

namespace hardware {

// Physical memory as the C library reports it (pages × page size); 0 when unknown.
std::uint64_t sysconfPhysicalMemoryBytes();

// Everything the hardware queries touch in the outside world. Tests point the
// root at a fake /sys and /proc tree and replace the sysconf reading.
struct SystemProbe {
    std::filesystem::path root{"/"};
    std::function<std::uint64_t()> physicalMemoryBytes{sysconfPhysicalMemoryBytes};
};

} // namespace hardware
