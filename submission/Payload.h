#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace submission {

// The result record of one run, as the score service receives it.
struct Payload {
    std::string device_name;
    std::string chip_type;
    std::int64_t ram_gb = 0;
    double xcode_build_sec = 0.0;
    double resin_slicer_sec = 0.0;
    std::int64_t max_temp_c = 0;
    std::int64_t swap_used_mb = 0;

    bool operator==(const Payload&) const = default;
};

// The compact JSON request body with exactly the seven members; nullopt when
// a number is not finite or a text is not valid UTF-8 (JSON cannot carry it).
std::optional<std::string> encodePayload(const Payload& payload);

// Reads a body back; every member is required and strictly typed.
std::optional<Payload> decodePayload(std::string_view json);

// The same reading, telling why it failed: `badMember` names the first member
// that is missing or of the wrong type, and stays empty when the body is not a
// JSON object at all.
struct PayloadDecoding {
    std::optional<Payload> payload;
    std::string badMember;
};
PayloadDecoding decodePayloadExplained(std::string_view json);

} // namespace submission
