#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace hardware {

// True for a blank DMI field or one that still holds a firmware vendor's stock text, such as
// "To be filled by O.E.M." or "System Product Name".
bool isFirmwarePlaceholder(std::string_view text);

// The hardware model under the given root: the DMI product name, else the DMI board name,
// else the device tree's model; "" when none is readable.
std::string readDeviceModel(const std::filesystem::path& root);

// The processor brand under the given root: the first processor's model name, else the
// device tree's system-on-chip, else the name of a well-known core; "" when none is known.
std::string readCpuBrand(const std::filesystem::path& root);

} // namespace hardware
