#include "service/Plausibility.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cmath>

namespace service {
namespace {

std::string fieldError(std::string_view member, std::string_view why) {
    return "Geçersiz alan: " + std::string(member) + " " + std::string(why);
}

std::optional<std::string> timeProblem(std::string_view member, double seconds) {
    if (!std::isfinite(seconds) || seconds <= 0.0 || seconds > kMaxSeconds) {
        return fieldError(member, "0 ile 3600 saniye arasında olmalı.");
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> nameProblem(std::string_view member, std::string_view name) {
    if (name.empty()) {
        return fieldError(member, "boş olamaz.");
    }
    if (name.size() > kMaxNameBytes) {
        return fieldError(member, "en fazla 128 bayt olabilir.");
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(name.data());
    const auto length = static_cast<std::int32_t>(name.size());
    for (std::int32_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) {
            return fieldError(member, "geçerli UTF-8 değil.");
        }
        if (u_charType(c) == U_CONTROL_CHAR) {
            return fieldError(member, "kontrol karakteri içeriyor.");
        }
    }
    return std::nullopt;
}

std::optional<std::string> implausibility(const submission::Payload& payload) {
    if (auto problem = nameProblem("device_name", payload.device_name)) {
        return problem;
    }
    if (auto problem = nameProblem("chip_type", payload.chip_type)) {
        return problem;
    }
    if (payload.ram_gb < kMinRamGb || payload.ram_gb > kMaxRamGb) {
        return fieldError("ram_gb", "1 ile 65536 arasında olmalı.");
    }
    if (auto problem = timeProblem("xcode_build_sec", payload.xcode_build_sec)) {
        return problem;
    }
    if (auto problem = timeProblem("resin_slicer_sec", payload.resin_slicer_sec)) {
        return problem;
    }
    // Both times come from one measurement, so their ratio is fixed.
    const double expected = payload.xcode_build_sec * 1.5 / 3.5;
    if (std::abs(payload.resin_slicer_sec - expected) > kResinTolerance * expected) {
        return fieldError("resin_slicer_sec", "xcode_build_sec × 1,5 / 3,5 olmalı.");
    }
    return std::nullopt;
}

} // namespace service
