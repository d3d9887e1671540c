// The text of /proc/cpuinfo, /proc/meminfo, the udev memory record and block_size_bytes, and the
// raw bytes of any one fact. One input feeds every parser: they share line handling, and a
// record for one is noise for another.
#include "hardware/CpuInfo.h"
#include "hardware/FactText.h"
#include "hardware/MemorySize.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto plausible = [](std::optional<std::uint64_t> bytes) {
        return !bytes || (*bytes > 0 && *bytes <= hardware::maxPlausibleMemoryBytes);
    };
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto model = hardware::parseCpuInfo(text).modelName;
    const auto memTotal = hardware::parseMemTotalBytes(text);
    // Decoding is a fixed point: ill-formed UTF-8, a NUL or an untrimmed control left in the
    // output would each be changed by a second pass. The model name is such decoded text, and
    // every figure is memory, not garbage.
    const std::string fact = hardware::decodeFactText(text);
    if (fact.find('\0') != std::string::npos || hardware::decodeFactText(fact) != fact ||
        hardware::decodeFactText(model) != model || !plausible(memTotal) ||
        (memTotal && *memTotal % 1024 != 0) ||
        !plausible(hardware::parseUdevMemoryDeviceBytes(text)) ||
        !plausible(hardware::parseBlockSizeBytes(text))) {
        std::abort();
    }
    return 0;
}
