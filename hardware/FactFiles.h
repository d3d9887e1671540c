#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace hardware {

// Far above any file this layer reads; /proc and /sys report no sizes, so reads need a bound.
inline constexpr std::size_t maxFactFileBytes = std::size_t{1} << 20;

// A system path such as "sys/class/dmi/id" placed under the given root.
std::filesystem::path underRoot(const std::filesystem::path& root, std::string_view relative);

// The raw bytes of a regular file, at most maxFactFileBytes; nullopt when it cannot be read.
std::optional<std::string> readRawFile(const std::filesystem::path& path);

// The decoded text of a one-value file (see decodeFactText); nullopt when it cannot be read.
std::optional<std::string> readFactFile(const std::filesystem::path& path);

} // namespace hardware
