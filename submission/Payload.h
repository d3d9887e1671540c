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

// Each member once, in the record's order, under its name on the wire and in
// the database: encoding, decoding, storing and showing a record all walk this,
// so a new member is added here and in the struct, nowhere else.
template <class P, class Visit> void forEachMember(P& payload, Visit&& visit) {
    visit("device_name", payload.device_name);
    visit("chip_type", payload.chip_type);
    visit("ram_gb", payload.ram_gb);
    visit("xcode_build_sec", payload.xcode_build_sec);
    visit("resin_slicer_sec", payload.resin_slicer_sec);
    visit("max_temp_c", payload.max_temp_c);
    visit("swap_used_mb", payload.swap_used_mb);
}

// A run of t seconds is sent as xcode_build_sec = t × kBuildFactor, the score,
// and resin_slicer_sec = t × kSlicerFactor.
inline constexpr double kBuildFactor = 3.5;
inline constexpr double kSlicerFactor = 1.5;

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
