#include "submission/Payload.h"

#include "submission/PayloadJson.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <type_traits>

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

template <class Value> std::optional<Value> readMember(const json& object, const char* key) {
    if constexpr (std::is_same_v<Value, std::string>) {
        return readString(object, key);
    } else if constexpr (std::is_same_v<Value, double>) {
        return readNumber(object, key);
    } else {
        return readInteger(object, key);
    }
}

} // namespace

nlohmann::ordered_json payloadJson(const Payload& payload) {
    nlohmann::ordered_json members;
    forEachMember(payload,
                  [&members](const char* name, const auto& value) { members[name] = value; });
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
    Payload payload;
    // Every member is read; the first that cannot be is the one named.
    forEachMember(payload, [&](const char* name, auto& value) {
        if (auto read = readMember<std::decay_t<decltype(value)>>(object, name)) {
            value = std::move(*read);
        } else if (result.badMember.empty()) {
            result.badMember = name;
        }
    });
    if (result.badMember.empty()) {
        result.payload = std::move(payload);
    }
    return result;
}

std::optional<Payload> decodePayload(std::string_view text) {
    return decodePayloadExplained(text).payload;
}

} // namespace submission
