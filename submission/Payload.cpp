#include "submission/Payload.h"

#include "submission/PayloadJson.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>

namespace submission {
namespace {

using nlohmann::json;

std::optional<std::string> readString(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) {
        return std::nullopt;
    }
    return it->get<std::string>();
}

std::optional<std::int64_t> readInteger(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end()) {
        return std::nullopt;
    }
    if (it->is_number_unsigned()) {
        const auto value = it->get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(value);
    }
    if (it->is_number_integer()) {
        return it->get<std::int64_t>();
    }
    return std::nullopt;
}

std::optional<double> readNumber(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number()) {
        return std::nullopt;
    }
    return it->get<double>();
}

} // namespace

nlohmann::ordered_json payloadJson(const Payload& payload) {
    nlohmann::ordered_json members;
    members["device_name"] = payload.device_name;
    members["chip_type"] = payload.chip_type;
    members["ram_gb"] = payload.ram_gb;
    members["xcode_build_sec"] = payload.xcode_build_sec;
    members["resin_slicer_sec"] = payload.resin_slicer_sec;
    members["max_temp_c"] = payload.max_temp_c;
    members["swap_used_mb"] = payload.swap_used_mb;
    return members;
}

std::optional<std::string> encodePayload(const Payload& payload) {
    // The library would write a non-finite double as null; that is no score.
    if (!std::isfinite(payload.xcode_build_sec) || !std::isfinite(payload.resin_slicer_sec)) {
        return std::nullopt;
    }
    try {
        return payloadJson(payload).dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
    } catch (const nlohmann::json::exception&) {
        return std::nullopt; // a text that is not UTF-8
    }
}

PayloadDecoding decodePayloadExplained(std::string_view text) {
    // The parser may stop at a NUL and leave what follows unread: such a text
    // is two texts, and neither is taken.
    const json object = json::parse(text.begin(), text.end(), nullptr, false);
    if (!object.is_object() || text.find('\0') != std::string_view::npos) {
        return {};
    }
    PayloadDecoding result;
    // Records the first member that cannot be read and passes the value through.
    const auto need = [&result](auto value, const char* key) {
        if (!value && result.badMember.empty()) {
            result.badMember = key;
        }
        return value;
    };
    auto deviceName = need(readString(object, "device_name"), "device_name");
    auto chipType = need(readString(object, "chip_type"), "chip_type");
    const auto ramGb = need(readInteger(object, "ram_gb"), "ram_gb");
    const auto xcodeBuildSec = need(readNumber(object, "xcode_build_sec"), "xcode_build_sec");
    const auto resinSlicerSec = need(readNumber(object, "resin_slicer_sec"), "resin_slicer_sec");
    const auto maxTempC = need(readInteger(object, "max_temp_c"), "max_temp_c");
    const auto swapUsedMb = need(readInteger(object, "swap_used_mb"), "swap_used_mb");
    if (!result.badMember.empty()) {
        return result;
    }
    result.payload = Payload{std::move(*deviceName),
                             std::move(*chipType),
                             *ramGb,
                             *xcodeBuildSec,
                             *resinSlicerSec,
                             *maxTempC,
                             *swapUsedMb};
    return result;
}

std::optional<Payload> decodePayload(std::string_view text) {
    return decodePayloadExplained(text).payload;
}

} // namespace submission
