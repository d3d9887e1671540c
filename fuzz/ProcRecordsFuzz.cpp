// The text of /proc/cpuinfo, /proc/meminfo, the udev memory record and block_size_bytes. One
// input feeds every parser: they share line handling, and a record for one is noise for another.
#include "hardware/CpuInfo.h"
#include "hardware/FactText.h"
#include "hardware/MemorySize.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace {

void requirePlausible(std::optional<std::uint64_t> bytes, const char* source) {
    if (bytes && (*bytes == 0 || *bytes > hardware::maxPlausibleMemoryBytes)) {
        std::fprintf(stderr, "invariant broken: %s gave %llu bytes\n", source,
                     static_cast<unsigned long long>(*bytes));
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const auto cpu = hardware::parseCpuInfo(text);
    if (hardware::decodeFactText(cpu.modelName) != cpu.modelName) {
        std::fprintf(stderr, "invariant broken: the model name is not decoded text\n");
        std::abort();
    }

    requirePlausible(hardware::parseUdevMemoryDeviceBytes(text), "udev record");
    const auto memTotal = hardware::parseMemTotalBytes(text);
    requirePlausible(memTotal, "MemTotal");
    if (memTotal && *memTotal % 1024 != 0) {
        std::fprintf(stderr, "invariant broken: MemTotal is not whole kibibytes\n");
        std::abort();
    }
    requirePlausible(hardware::parseBlockSizeBytes(text), "block_size_bytes");
    return 0;
}
