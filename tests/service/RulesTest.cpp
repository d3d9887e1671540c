#include "service/ServiceTestSupport.h"
#include "service/rules/ClientVersion.h"
#include "service/rules/Plausibility.h"
#include "service/rules/Review.h"
#include "service/rules/Spread.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace service {
namespace {

using submission::Payload;
using P = Payload&;

struct Case {
    const char* what;
    std::function<void(Payload&)> change;
    const char* namedMember;           // nullptr: plausible
    const char* storedNames = nullptr; // both names as stored, when they change
};

TEST(Plausibility, RefusesWhatTheClientCannotProduceAndNamesTheMember) {
    const std::vector<Case> cases = {
        {"the client's own record", [](P) {}, nullptr},
        {"exactly one hour", [](P p) { p = scored("M9", 3600.0); }, nullptr},
        {"over one hour", [](P p) { p = scored("M9", 3600.001); }, "xcode_build_sec"},
        {"the fastest run a machine can make", [](P p) { p = scored("M9", kMinBuildSeconds); },
         nullptr},
        {"faster than any machine",
         [](P p) { p = scored("M9", std::nextafter(kMinBuildSeconds, 0.0)); }, "xcode_build_sec"},
        {"NaN time", [](P p) { p.xcode_build_sec = std::nan(""); }, "xcode_build_sec"},
        {"NaN resin", [](P p) { p.resin_slicer_sec = std::nan(""); }, "resin_slicer_sec"},
        {"resin off by 1e-8", [](P p) { p.resin_slicer_sec *= 1 + 1e-8; }, "resin_slicer_sec"},
        {"resin within 1e-10", [](P p) { p.resin_slicer_sec *= 1 + 1e-10; }, nullptr},
        {"1 GB", [](P p) { p.ram_gb = 1; }, nullptr},
        {"65536 GB", [](P p) { p.ram_gb = 65536; }, nullptr},
        {"0 GB", [](P p) { p.ram_gb = 0; }, "ram_gb"},
        {"65537 GB", [](P p) { p.ram_gb = 65537; }, "ram_gb"},
        {"128-byte device", [](P p) { p.device_name = std::string(128, 'a'); }, nullptr},
        {"129-byte device", [](P p) { p.device_name = std::string(129, 'a'); }, "device_name"},
        {"ill-formed UTF-8", [](P p) { p.device_name = "a\xff"; }, "device_name"},
        {"cut-off sequence", [](P p) { p.device_name = "\xc3"; }, "device_name"},
        {"encoded surrogate", [](P p) { p.device_name = "\xed\xa0\x80"; }, "device_name"},
        {"tab", [](P p) { p.device_name = "a\tb"; }, "device_name"},
        {"DEL", [](P p) { p.device_name = "a\x7f"; }, "device_name"},
        {"C1 control", [](P p) { p.device_name = "a\u0085"; }, "device_name"},
        {"NUL in chip", [](P p) { p.chip_type = std::string("M\0 9", 4); }, "chip_type"},
        {"empty device", [](P p) { p.device_name = ""; }, "device_name"},
        {"blank device", [](P p) { p.device_name = "   "; }, "device_name"},
        {"ideographic space and filler", [](P p) { p.chip_type = "\u3000\u3164"; }, "chip_type"},
        {"zero-width space", [](P p) { p.chip_type = "AMD\u200bEPYC"; }, "chip_type"},
        {"line separator", [](P p) { p.device_name = "a\u2028b"; }, "device_name"},
        {"decomposed letters", [](P p) { p.device_name = p.chip_type = "Ce\u0301 \u212b"; },
         nullptr, "C\u00e9 \u00c5"},
        {"-1 °C", [](P p) { p.max_temp_c = -1; }, "max_temp_c"},
        {"151 °C", [](P p) { p.max_temp_c = 151; }, "max_temp_c"},
        {"over 16 TiB swap", [](P p) { p.swap_used_mb = 16777217; }, "swap_used_mb"},
        {"negative swap", [](P p) { p.swap_used_mb = -1; }, "swap_used_mb"},
    };
    for (const auto& c : cases) {
        Payload payload = scored("M9", 36.75);
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

TEST(ReviewRule, HoldsOnlyTimesFarFromTheirProcessor) {
    const ReviewFigures usual{200, 9.5, 10.0, 10.4, 4.0};
    const ReviewFigures agreeing{200, 10.0, 10.0, 10.0, 4.0};
    // A time, its processor's figures and the rule that holds it, named in the hold; "": none.
    const std::vector<std::tuple<double, ReviewFigures, std::string>> cases = {
        {0.5, usual, "quartile"},           {8.1, usual, ""},
        {7.9, usual, "quartile"},           {17.9, usual, ""},
        {18.1, usual, "quartile"},          {9.3, agreeing, ""},
        {9.1, agreeing, "quartile"},        {10.5, agreeing, ""},
        {1.9, {19, 0, 0, 0, 4.0}, "board"}, {2.0, {19, 0, 0, 0, 4.0}, ""},
        {0.1, {0, 0, 0, 0, 0.0}, ""},       {60.0, {5, 0, 0, 0, 4.0}, ""},
    };
    for (const auto& [seconds, figures, heldBy] : cases) {
        const auto hold = reviewTime(seconds, figures);
        EXPECT_EQ(hold.has_value(), !heldBy.empty()) << seconds << " of " << figures.records;
        if (hold) {
            EXPECT_NE(hold->figures.find("\"rule\":\"" + heldBy), std::string::npos)
                << hold->figures;
        }
    }
}

TEST(Spread, PercentilesLieBetweenTheNearestRanksInProportion) {
    // Sorted times and their count, best, 10th, 25th, 50th, 75th and 90th percentiles.
    const std::vector<std::pair<std::vector<double>, Spread>> cases = {
        {{10}, {1, 10, 10, 10, 10, 10, 10}},
        {{10, 20}, {2, 10, 11, 12.5, 15, 17.5, 19}},
        {{1, 2, 3, 4, 5}, {5, 1, 1.4, 2, 3, 4, 4.6}},
        {{5, 5, 5, 9}, {4, 5, 5, 5, 5, 6, 7.8}},
    };
    for (const auto& [times, want] : cases) {
        const auto got = spreadOf(static_cast<std::int64_t>(times.size()),
                                  [&](std::int64_t k) { return times.at(k); });
        const auto figures = [](const Spread& s) {
            return std::vector<double>{
                static_cast<double>(s.count), s.best, s.p10, s.q1, s.median, s.q3, s.p90};
        };
        const auto a = figures(got);
        const auto b = figures(want);
        for (std::size_t i = 0; i < a.size(); ++i) {
            EXPECT_NEAR(a[i], b[i], 1e-9) << times.size() << " times, figure " << i;
        }
    }
}

// Search folds by the root locale, never the Turkish one, and takes İ and ı as i besides.
TEST(Spread, NamesFoldAlikeWhateverTheKeyboard) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Intel Core i7", "intel core i7"},
        {"INTEL", "intel"},
        {"İNTEL", "intel"},
        {"ıntel", "intel"},
        {"Straße", "strasse"},
        {"50%_x\\", "50%_x\\"},
        {"ÇĞÖŞÜ", "çğöşü"},
        {"", ""},
    };
    for (const auto& [name, folded] : cases) {
        EXPECT_EQ(foldName(name), folded) << name;
    }
}

TEST(ReviewRule, KeepsOnlyAFitProductTokenAndVersion) {
    const auto kept = [](const std::string& agent) {
        const auto client = clientVersion(agent);
        return client.product + "/" + client.version;
    };
    EXPECT_EQ(kept("benchmark-companion/1.4.2 (Linux x86_64)"), "benchmark-companion/1.4.2");
    EXPECT_EQ(kept("curl/8.1.2"), "curl/8.1.2");
    for (const std::string& unfit : std::vector<std::string>{
             "Mozilla", "/1.0", "tool/", "tool/1/2", "to\x01ol/1.0", "t\xc3\xa4l/1.0",
             std::string(65, 'a') + "/1", "a/" + std::string(33, '1')}) {
        EXPECT_EQ(kept(unfit), "/") << unfit;
    }
}

} // namespace
} // namespace service
