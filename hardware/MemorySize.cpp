#include "hardware/MemorySize.h"

#include "hardware/FactFiles.h"
#include "hardware/FactText.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <string>
#include <system_error>

namespace hardware {
namespace {

std::optional<std::uint64_t> parseUnsigned(std::string_view text, int base = 10) {
    std::uint64_t value = 0;
    const auto* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || error != std::errc{} || stop != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint64_t> plausible(std::optional<std::uint64_t> bytes) {
    if (!bytes || *bytes == 0 || *bytes > maxPlausibleMemoryBytes) {
        return std::nullopt;
    }
    return bytes;
}

// Calls visit(line) for each line of text, without its line feed.
template <typename Visit> void forEachLine(std::string_view text, Visit visit) {
    while (!text.empty()) {
        const auto newline = text.find('\n');
        visit(text.substr(0, newline));
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
    }
}

// "E:MEMORY_DEVICE_3_SIZE=17179869184" gives device 3 and its size.
std::optional<std::pair<std::uint64_t, std::uint64_t>> memoryDeviceSize(std::string_view line) {
    constexpr std::string_view prefix = "E:MEMORY_DEVICE_";
    constexpr std::string_view suffix = "_SIZE";
    const auto equals = line.find('=');
    if (!line.starts_with(prefix) || equals == std::string_view::npos) {
        return std::nullopt;
    }
    auto name = line.substr(prefix.size(), equals - prefix.size());
    if (!name.ends_with(suffix)) {
        return std::nullopt;
    }
    name.remove_suffix(suffix.size());
    const auto device = parseUnsigned(name);
    const auto size = parseUnsigned(decodeFactText(line.substr(equals + 1)));
    if (!device || !size) {
        return std::nullopt;
    }
    return std::pair{*device, *size};
}

std::optional<std::uint64_t> udevMemoryBytes(const std::filesystem::path& root) {
    const auto record = readRawFile(underRoot(root, "run/udev/data/+dmi:id"));
    return record ? parseUdevMemoryDeviceBytes(*record) : std::nullopt;
}

bool isOnlineBlock(const std::filesystem::directory_entry& entry) {
    const auto name = entry.path().filename().string();
    constexpr std::string_view prefix = "memory";
    if (!name.starts_with(prefix) || !parseUnsigned(std::string_view(name).substr(prefix.size()))) {
        return false;
    }
    return readFactFile(entry.path() / "online") == "1";
}

// block_size_bytes times the number of blocks that are online.
std::optional<std::uint64_t> onlineBlockBytes(const std::filesystem::path& root) {
    const auto folder = underRoot(root, "sys/devices/system/memory");
    const auto raw = readRawFile(folder / "block_size_bytes");
    const auto blockSize = raw ? parseBlockSizeBytes(*raw) : std::nullopt;
    if (!blockSize) {
        return std::nullopt;
    }
    std::uint64_t onlineBlocks = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        onlineBlocks += isOnlineBlock(*it) ? 1 : 0;
    }
    if (error || onlineBlocks > maxPlausibleMemoryBytes / *blockSize) {
        return std::nullopt;
    }
    return plausible(onlineBlocks * *blockSize);
}

std::optional<std::uint64_t> memTotalBytes(const std::filesystem::path& root) {
    const auto meminfo = readRawFile(underRoot(root, "proc/meminfo"));
    return meminfo ? parseMemTotalBytes(*meminfo) : std::nullopt;
}

} // namespace

std::optional<std::uint64_t> parseUdevMemoryDeviceBytes(std::string_view record) {
    // Keyed by device so that a repeated property cannot count one module twice.
    std::map<std::uint64_t, std::uint64_t> sizes;
    forEachLine(record, [&](std::string_view line) {
        if (const auto device = memoryDeviceSize(line)) {
            sizes[device->first] = device->second;
        }
    });
    std::uint64_t total = 0;
    for (const auto& [device, size] : sizes) {
        if (size > maxPlausibleMemoryBytes - total) {
            return std::nullopt;
        }
        total += size;
    }
    return plausible(total);
}

std::optional<std::uint64_t> parseMemTotalBytes(std::string_view meminfo) {
    std::optional<std::uint64_t> bytes;
    forEachLine(meminfo, [&](std::string_view line) {
        constexpr std::string_view label = "MemTotal:";
        constexpr std::string_view unit = " kB";
        if (bytes || !line.starts_with(label)) {
            return;
        }
        auto figure = decodeFactText(line.substr(label.size()));
        figure.erase(0, figure.find_first_not_of(' '));
        if (!figure.ends_with(unit)) {
            return;
        }
        figure.resize(figure.size() - unit.size());
        const auto kibibytes = parseUnsigned(figure);
        if (kibibytes && *kibibytes <= maxPlausibleMemoryBytes / 1024) {
            bytes = *kibibytes * 1024;
        }
    });
    return plausible(bytes);
}

std::optional<std::uint64_t> parseBlockSizeBytes(std::string_view text) {
    auto figure = decodeFactText(text);
    if (figure.starts_with("0x") || figure.starts_with("0X")) {
        figure.erase(0, 2);
    }
    return plausible(parseUnsigned(figure, 16));
}

std::uint64_t installedMemoryBytes(const SystemProbe& probe) {
    // MemTotal leaves out what the kernel and firmware reserve, so it is only the floor.
    auto installed = udevMemoryBytes(probe.root);
    if (!installed) {
        installed = onlineBlockBytes(probe.root);
    }
    if (!installed && probe.physicalMemoryBytes) {
        installed = plausible(probe.physicalMemoryBytes());
    }
    return std::max(installed.value_or(0), memTotalBytes(probe.root).value_or(0));
}

} // namespace hardware
