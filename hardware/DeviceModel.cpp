#include "hardware/DeviceModel.h"

#include "hardware/ArmNames.h"
#include "hardware/CpuInfo.h"
#include "hardware/FactFiles.h"

#include <algorithm>
#include <array>
#include <utility>

namespace hardware {
namespace {

constexpr std::array<std::string_view, 17> placeholders{
    "To be filled by O.E.M.",
    "To be filled by OEM",
    "System Product Name",
    "System Name",
    "Product Name",
    "Default string",
    "Default",
    "All Series",
    "Not Applicable",
    "Not Specified",
    "Not Available",
    "None",
    "O.E.M.",
    "OEM",
    "Unknown",
    "N/A",
    "Type1ProductConfigId",
};

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

std::string_view trimWhitespace(std::string_view text) {
    constexpr std::string_view whitespace = " \t\n\v\f\r";
    const auto first = text.find_first_not_of(whitespace);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(whitespace) - first + 1);
}

} // namespace

bool isFirmwarePlaceholder(std::string_view text) {
    const auto trimmed = trimWhitespace(text);
    return trimmed.empty() || std::ranges::any_of(placeholders, [&](std::string_view stock) {
               return equalsIgnoringCase(trimmed, stock);
           });
}

std::string readDeviceModel(const std::filesystem::path& root) {
    const auto dmi = underRoot(root, "sys/class/dmi/id");
    for (const char* field : {"product_name", "board_name"}) {
        if (auto text = readFactFile(dmi / field); text && !isFirmwarePlaceholder(*text)) {
            return std::move(*text);
        }
    }
    return readFactFile(underRoot(root, "proc/device-tree/model")).value_or("");
}

std::string readCpuBrand(const std::filesystem::path& root) {
    const auto cpuinfo = readRawFile(underRoot(root, "proc/cpuinfo"));
    const auto info = parseCpuInfo(cpuinfo.value_or(""));
    if (!info.modelName.empty()) {
        return info.modelName;
    }
    // arm64 kernels name no model; the device tree or the core's codes still tell.
    const auto compatible = readRawFile(underRoot(root, "proc/device-tree/compatible"));
    if (auto soc = socNameFromCompatible(compatible.value_or("")); !soc.empty()) {
        return soc;
    }
    if (info.implementer && info.part) {
        return armCoreName(*info.implementer, *info.part);
    }
    return {};
}

} // namespace hardware
