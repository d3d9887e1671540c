#include "model/RunRecord.h"

namespace model {
namespace {

constexpr std::string_view kDeviceFallback = "MacDevice";
constexpr std::string_view kChipFallback = "Apple Silicon";
constexpr std::string_view kChipVendorPrefix = "Apple ";
constexpr std::int64_t kRamFallbackGB = 8;
constexpr std::int64_t kMaxTempC = 84;
constexpr std::int64_t kSwapUsedMB = 0;

} // namespace

std::string removeAll(std::string_view text, std::string_view needle) {
    if (needle.empty()) {
        return std::string(text);
    }
    std::string result;
    result.reserve(text.size());
    std::size_t from = 0;
    for (auto at = text.find(needle); at != std::string_view::npos; at = text.find(needle, from)) {
        result.append(text.substr(from, at - from));
        from = at + needle.size();
    }
    result.append(text.substr(from));
    return result;
}

submission::Payload makePayload(const std::string& deviceName, const std::string& chipName,
                                std::int64_t ramGB, double elapsedSeconds) {
    return submission::Payload{
        .device_name = deviceName.empty() ? std::string(kDeviceFallback) : deviceName,
        .chip_type =
            chipName.empty() ? std::string(kChipFallback) : removeAll(chipName, kChipVendorPrefix),
        .ram_gb = ramGB == 0 ? kRamFallbackGB : ramGB,
        .xcode_build_sec = elapsedSeconds * submission::kBuildFactor,
        .resin_slicer_sec = elapsedSeconds * submission::kSlicerFactor,
        .max_temp_c = kMaxTempC,
        .swap_used_mb = kSwapUsedMB,
    };
}

} // namespace model
