#include "service/rules/Plausibility.h"

#include "service/rules/Format.h"

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cmath>

namespace service {
namespace {

struct MemberProblem {
    std::string why;
};

MemberProblem fieldError(std::string_view member, std::string_view why) {
    return {"Geçersiz alan: " + std::string(member) + " " + std::string(why)};
}

// "LOW ile HIGH arasında", numbers as Turkish writes them.
std::string between(double low, double high) {
    return turkishNumber(low) + " ile " + turkishNumber(high);
}

std::optional<MemberProblem> timeProblem(std::string_view member, double seconds, double floor) {
    if (!std::isfinite(seconds) || seconds <= 0.0 || seconds < floor || seconds > kMaxSeconds) {
        return fieldError(member, between(floor, kMaxSeconds) + " saniye arasında olmalı.");
    }
    return std::nullopt;
}

// Shows nothing, or only space: such a name reads as an empty one.
bool blank(UChar32 c) {
    return u_isUWhiteSpace(c) || u_hasBinaryProperty(c, UCHAR_DEFAULT_IGNORABLE_CODE_POINT);
}

// Characters that are unreadable, invisible or break a line make two names
// look alike, or a page row look like two.
std::optional<MemberProblem> characterProblem(std::string_view member, std::string_view name) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(name.data());
    const auto length = static_cast<std::int32_t>(name.size());
    bool allBlank = true;
    for (std::int32_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        switch (unsafeCharacter(c)) {
        case UnsafeCharacter::broken:
            return fieldError(member, "geçerli UTF-8 değil.");
        case UnsafeCharacter::control:
            return fieldError(member, "kontrol karakteri içeriyor.");
        case UnsafeCharacter::format:
            return fieldError(member, "görünmeyen biçim karakteri içeriyor.");
        case UnsafeCharacter::lineBreak:
            return fieldError(member, "satır ayırıcı içeriyor.");
        case UnsafeCharacter::none:
            allBlank = allBlank && blank(c);
        }
    }
    return allBlank ? std::optional(fieldError(member, "boş olamaz.")) : std::nullopt;
}

std::variant<std::string, MemberProblem> normalisedName(std::string_view member,
                                                        std::string_view name) {
    if (auto problem = characterProblem(member, name)) {
        return *problem;
    }
    // Fetched once under a C++ static guard: ICU's own once-only start is invisible to the
    // thread sanitizer, which then takes every request thread's use for a race.
    static const icu::Normalizer2* const nfc = [] {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* instance = icu::Normalizer2::getNFCInstance(status);
        return U_SUCCESS(status) ? instance : nullptr;
    }();
    UErrorCode status = nfc ? U_ZERO_ERROR : U_INTERNAL_PROGRAM_ERROR;
    std::string normalised;
    icu::StringByteSink<std::string> sink(&normalised);
    if (nfc) {
        nfc->normalizeUTF8(0, icu::StringPiece(name.data(), static_cast<std::int32_t>(name.size())),
                           sink, nullptr, status);
    }
    if (U_FAILURE(status)) {
        return fieldError(member, "işlenemedi.");
    }
    if (normalised.size() > kMaxNameBytes) {
        return fieldError(member, "en fazla " + turkishNumber(kMaxNameBytes) + " bayt olabilir.");
    }
    return normalised;
}

std::optional<MemberProblem> rangeProblem(const submission::Payload& payload) {
    if (payload.ram_gb < kMinRamGb || payload.ram_gb > kMaxRamGb) {
        return fieldError("ram_gb", between(kMinRamGb, kMaxRamGb) + " arasında olmalı.");
    }
    if (payload.max_temp_c < kMinTempC || payload.max_temp_c > kMaxTempC) {
        return fieldError("max_temp_c", between(kMinTempC, kMaxTempC) + " arasında olmalı.");
    }
    if (payload.swap_used_mb < 0 || payload.swap_used_mb > kMaxSwapMb) {
        return fieldError("swap_used_mb", between(0, kMaxSwapMb) + " arasında olmalı.");
    }
    if (auto problem = timeProblem("xcode_build_sec", payload.xcode_build_sec, kMinBuildSeconds)) {
        return problem;
    }
    if (auto problem = timeProblem("resin_slicer_sec", payload.resin_slicer_sec, 0.0)) {
        return problem;
    }
    // Both times come from one measurement, so their ratio is fixed.
    const double expected =
        payload.xcode_build_sec * submission::kSlicerFactor / submission::kBuildFactor;
    if (std::abs(payload.resin_slicer_sec - expected) > kResinTolerance * expected) {
        return fieldError("resin_slicer_sec",
                          "xcode_build_sec × " + turkishNumber(submission::kSlicerFactor) + " / " +
                              turkishNumber(submission::kBuildFactor) + " olmalı.");
    }
    return std::nullopt;
}

} // namespace

std::variant<submission::Payload, std::string> plausibleRecord(submission::Payload payload) {
    for (auto [member, name] : {std::pair{"device_name", &payload.device_name},
                                std::pair{"chip_type", &payload.chip_type}}) {
        auto checked = normalisedName(member, *name);
        if (auto* refusal = std::get_if<MemberProblem>(&checked)) {
            return std::move(refusal->why);
        }
        *name = std::move(std::get<std::string>(checked));
    }
    if (auto problem = rangeProblem(payload)) {
        return std::move(problem->why);
    }
    return payload;
}

} // namespace service
