#include "hardware/FactFiles.h"

#include "hardware/FactText.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <system_error>

namespace hardware {

std::filesystem::path underRoot(const std::filesystem::path& root, std::string_view relative) {
    while (!relative.empty() && relative.front() == '/') {
        relative.remove_prefix(1);
    }
    return root / std::filesystem::path(relative);
}

std::optional<std::string> readRawFile(const std::filesystem::path& path) {
    // Only regular files: a FIFO or device under a foreign root could block forever.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::string bytes;
    std::array<char, 4096> chunk{};
    while (bytes.size() < maxFactFileBytes) {
        const auto wanted = std::min(chunk.size(), maxFactFileBytes - bytes.size());
        file.read(chunk.data(), static_cast<std::streamsize>(wanted));
        bytes.append(chunk.data(), static_cast<std::size_t>(file.gcount()));
        if (!file) {
            break;
        }
    }
    if (file.bad()) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::string> readFactFile(const std::filesystem::path& path) {
    auto bytes = readRawFile(path);
    if (!bytes) {
        return std::nullopt;
    }
    return decodeFactText(*bytes);
}

} // namespace hardware
