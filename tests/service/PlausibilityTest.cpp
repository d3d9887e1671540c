#include "service/rules/Plausibility.h"

#include "service/ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace service {
namespace {

using submission::Payload;

Payload withTime(double seconds) {
    return Payload{"Mac99,1", "M9", 16, seconds, seconds * 1.5 / 3.5, 84, 0};
}

struct Case {
    const char* what;
    std::function<void(Payload&)> change;
    const char* namedMember;           // nullptr: plausible
    const char* storedNames = nullptr; // both names as stored, when they change
};

TEST(Plausibility, RefusesWhatTheClientCannotProduceAndNamesTheMember) {
    const std::vector<Case> cases = {
        {"the client's own record", [](Payload&) {}, nullptr},
        {"exactly one hour", [](Payload& p) { p = withTime(3600.0); }, nullptr},
        {"over one hour", [](Payload& p) { p = withTime(3600.001); }, "xcode_build_sec"},
        {"the fastest run a machine can make", [](Payload& p) { p = withTime(kMinBuildSeconds); },
         nullptr},
        {"faster than any machine",
         [](Payload& p) { p = withTime(std::nextafter(kMinBuildSeconds, 0.0)); },
         "xcode_build_sec"},
        {"subnormal time", [](Payload& p) { p = withTime(5e-324); }, "xcode_build_sec"},
        {"zero time", [](Payload& p) { p = withTime(0.0); }, "xcode_build_sec"},
        {"negative time", [](Payload& p) { p = withTime(-1.0); }, "xcode_build_sec"},
        {"infinite time", [](Payload& p) { p.xcode_build_sec = HUGE_VAL; }, "xcode_build_sec"},
        {"NaN time", [](Payload& p) { p.xcode_build_sec = std::nan(""); }, "xcode_build_sec"},
        {"NaN resin", [](Payload& p) { p.resin_slicer_sec = std::nan(""); }, "resin_slicer_sec"},
        {"resin off by 1e-8", [](Payload& p) { p.resin_slicer_sec *= 1 + 1e-8; },
         "resin_slicer_sec"},
        {"resin within 1e-10", [](Payload& p) { p.resin_slicer_sec *= 1 + 1e-10; }, nullptr},
        {"resin equal to xcode", [](Payload& p) { p.resin_slicer_sec = p.xcode_build_sec; },
         "resin_slicer_sec"},
        {"1 GB", [](Payload& p) { p.ram_gb = 1; }, nullptr},
        {"65536 GB", [](Payload& p) { p.ram_gb = 65536; }, nullptr},
        {"0 GB", [](Payload& p) { p.ram_gb = 0; }, "ram_gb"},
        {"65537 GB", [](Payload& p) { p.ram_gb = 65537; }, "ram_gb"},
        {"empty device", [](Payload& p) { p.device_name = ""; }, "device_name"},
        {"128-byte device", [](Payload& p) { p.device_name = std::string(128, 'a'); }, nullptr},
        {"129-byte device", [](Payload& p) { p.device_name = std::string(129, 'a'); },
         "device_name"},
        {"Turkish and emoji", [](Payload& p) { p.device_name = "Çalışma İstasyonu 🚀"; }, nullptr},
        {"markup is text", [](Payload& p) { p.device_name = "<script>x</script>"; }, nullptr},
        {"ill-formed UTF-8", [](Payload& p) { p.device_name = "a\xff"; }, "device_name"},
        {"cut-off sequence", [](Payload& p) { p.device_name = "\xc3"; }, "device_name"},
        {"encoded surrogate", [](Payload& p) { p.device_name = "\xed\xa0\x80"; }, "device_name"},
        {"tab", [](Payload& p) { p.device_name = "a\tb"; }, "device_name"},
        {"DEL", [](Payload& p) { p.device_name = "a\x7f"; }, "device_name"},
        {"C1 control", [](Payload& p) { p.device_name = "a\u0085"; }, "device_name"},
        {"NUL in chip", [](Payload& p) { p.chip_type = std::string("M\0 9", 4); }, "chip_type"},
        {"empty chip", [](Payload& p) { p.chip_type = ""; }, "chip_type"},
        {"blank device", [](Payload& p) { p.device_name = "   "; }, "device_name"},
        {"ideographic space and filler", [](Payload& p) { p.chip_type = "\u3000\u3164"; },
         "chip_type"},
        {"zero-width space", [](Payload& p) { p.chip_type = "AMD\u200bEPYC"; }, "chip_type"},
        {"right-to-left override", [](Payload& p) { p.device_name = "\u202eMac"; }, "device_name"},
        {"line separator", [](Payload& p) { p.device_name = "a\u2028b"; }, "device_name"},
        {"decomposed letters", [](Payload& p) { p.device_name = p.chip_type = "Ce\u0301 \u212b"; },
         nullptr, "C\u00e9 \u00c5"},
        {"-1 °C", [](Payload& p) { p.max_temp_c = -1; }, "max_temp_c"},
        {"151 °C", [](Payload& p) { p.max_temp_c = 151; }, "max_temp_c"},
        {"over 16 TiB swap", [](Payload& p) { p.swap_used_mb = 16777217; }, "swap_used_mb"},
        {"negative swap", [](Payload& p) { p.swap_used_mb = -1; }, "swap_used_mb"},
    };
    for (const auto& c : cases) {
        Payload payload = withTime(36.75);
        c.change(payload);
        const auto checked = plausibleRecord(payload);
        const auto* problem = std::get_if<std::string>(&checked);
        if (c.namedMember == nullptr) {
            ASSERT_EQ(problem, nullptr) << c.what << ": " << *problem;
            const auto& stored = std::get<Payload>(checked);
            EXPECT_EQ(stored.device_name, c.storedNames ? c.storedNames : payload.device_name);
            EXPECT_EQ(stored.chip_type, c.storedNames ? c.storedNames : payload.chip_type);
            continue;
        }
        ASSERT_NE(problem, nullptr) << c.what;
        EXPECT_NE(problem->find(c.namedMember), std::string::npos) << c.what << ": " << *problem;
        EXPECT_LE(codePoints(*problem), kMaxShownChars) << *problem;
    }
}

} // namespace
} // namespace service
