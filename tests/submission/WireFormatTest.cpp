#include "submission/APIResponse.h"
#include "submission/Payload.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace submission {
namespace {

using nlohmann::json;

Payload samplePayload() {
    return Payload{"Mac99,1", "M9", 16, 36.75, 15.75, 84, 0};
}

TEST(PayloadEncoding, WritesTheSevenMembersCompactlyInDeclarationOrder) {
    EXPECT_EQ(encodePayload(samplePayload()),
              R"({"device_name":"Mac99,1","chip_type":"M9","ram_gb":16,"xcode_build_sec":36.75,)"
              R"("resin_slicer_sec":15.75,"max_temp_c":84,"swap_used_mb":0})");
}

TEST(PayloadEncoding, IntegersStayIntegersAndZeroIsNotLeftOut) {
    const auto body = encodePayload(Payload{"", "", 0, 42.0, 0.0, 0, 0});
    ASSERT_TRUE(body);
    const json object = json::parse(*body);
    EXPECT_EQ(object.size(), 7u);
    for (const char* key : {"ram_gb", "max_temp_c", "swap_used_mb"}) {
        ASSERT_TRUE(object.contains(key)) << key;
        EXPECT_TRUE(object[key].is_number_integer()) << key;
        EXPECT_EQ(object[key], 0) << key;
    }
    EXPECT_TRUE(object["xcode_build_sec"].is_number_float());
}

TEST(PayloadEncoding, NumbersAndTextsReadBackUnchanged) {
    const double third = 1.0 / 3.0;
    const std::vector<Payload> payloads = {
        {"Mac99,1", "M9", 16, 42.0, 18.0, 84, 0},
        {"q\"uote\\back/slash", "tab\tnl\ncr\r\x01\x1f\x7f", 8, 0.1, third, 84, 0},
        {"Türkçe İşlemci ğüşöç", "\u2705 \U0001F680", 24, 5e-324, 1e-300, -40, -1},
        {"", "", std::numeric_limits<std::int64_t>::max(), std::numeric_limits<double>::max(), -0.0,
         std::numeric_limits<std::int64_t>::min(), 123456789},
        {"x", "y", 1, 1e21, 123456789.123456789, 1, 2},
    };
    for (const Payload& payload : payloads) {
        SCOPED_TRACE(payload.device_name);
        const auto body = encodePayload(payload);
        ASSERT_TRUE(body);
        const auto decoded = decodePayload(*body);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(*decoded, payload);
        // Same bits, so -0.0 keeps its sign.
        EXPECT_EQ(
            std::memcmp(&decoded->resin_slicer_sec, &payload.resin_slicer_sec, sizeof(double)), 0);
    }
}

TEST(PayloadEncoding, FailsInsteadOfWritingSomethingThatIsNotTheRecord) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<Payload> payloads;
    for (double bad : {inf, -inf, nan}) {
        Payload xcode = samplePayload();
        xcode.xcode_build_sec = bad;
        Payload resin = samplePayload();
        resin.resin_slicer_sec = bad;
        payloads.insert(payloads.end(), {xcode, resin});
    }
    // Ill-formed UTF-8: a stray byte, a truncated sequence, an overlong form, a surrogate.
    for (const char* bad : {"\xff", "Mac\xc3", "\xc0\xaf", "\xed\xa0\x80"}) {
        Payload device = samplePayload();
        device.device_name = bad;
        Payload chip = samplePayload();
        chip.chip_type = bad;
        payloads.insert(payloads.end(), {device, chip});
    }
    for (std::size_t i = 0; i < payloads.size(); ++i) {
        EXPECT_EQ(encodePayload(payloads[i]), std::nullopt) << "case " << i;
    }
}

TEST(PayloadDecoding, EveryMemberIsRequiredAndStrictlyTyped) {
    const std::string good = *encodePayload(samplePayload());
    EXPECT_EQ(decodePayload(good), samplePayload());
    const auto with = [&](const char* key, json value) {
        json object = json::parse(good);
        object[key] = std::move(value);
        return object.dump();
    };
    const auto without = [&](const char* key) {
        json object = json::parse(good);
        object.erase(key);
        return object.dump();
    };
    json extra = json::parse(good);
    extra["unknown"] = {1, 2};
    EXPECT_EQ(decodePayload(extra.dump()), samplePayload());
    EXPECT_EQ(decodePayload(with("xcode_build_sec", 36)),
              (Payload{"Mac99,1", "M9", 16, 36.0, 15.75, 84, 0}));

    const std::vector<std::string> failing = {
        without("device_name"),
        without("swap_used_mb"),
        with("chip_type", nullptr),
        with("device_name", 5),
        with("ram_gb", "16"),
        with("ram_gb", 16.5),
        with("ram_gb", 16.0),
        with("max_temp_c", 9223372036854775808ULL),
        with("xcode_build_sec", "1"),
        with("resin_slicer_sec", nullptr),
        "[]",
        "not json",
        "",
        good + "x",
        R"({"Device_name":"a","chip_type":"b","ram_gb":1,"xcode_build_sec":1,)"
        R"("resin_slicer_sec":1,"max_temp_c":1,"swap_used_mb":1})",
    };
    for (const std::string& body : failing) {
        EXPECT_EQ(decodePayload(body), std::nullopt) << body;
    }
}

struct ReplyCase {
    std::string body;
    std::optional<APIResponse> expected;
};

std::string nested(std::size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

TEST(APIResponseDecoding, LenientAboutPresenceStrictAboutType) {
    const std::vector<ReplyCase> cases = {
        {"{}", APIResponse{}},
        {R"({"success":true,"message":null})", APIResponse{true, std::nullopt, std::nullopt}},
        {R"({"success":false,"message":"m","error":"e"})", APIResponse{false, "m", "e"}},
        {R"({"message":"","error":""})", APIResponse{std::nullopt, "", ""}},
        {R"({"message":"Türkçe \u00e7","other":[1,{"x":null}],"n":3})",
         APIResponse{std::nullopt, "Türkçe ç", std::nullopt}},
        {R"({"Message":"m","ERROR":"e","Success":true})", APIResponse{}},
        {" \n{\"error\":\"x\"}\t", APIResponse{std::nullopt, std::nullopt, "x"}},
        {R"({"message":1})", std::nullopt},
        {R"({"success":"true","message":"valid"})", std::nullopt},
        {R"({"success":1})", std::nullopt},
        {R"({"error":false})", std::nullopt},
        {R"({"message":{"text":"m"}})", std::nullopt},
        {R"({"error":["e"]})", std::nullopt},
        {"[]", std::nullopt},
        {R"("message")", std::nullopt},
        {"null", std::nullopt},
        {"200", std::nullopt},
        {"", std::nullopt},
        {"<html>Bad Gateway</html>", std::nullopt},
        {R"({"message":"ok"} trailing)", std::nullopt},
        {R"({"message":"ok",})", std::nullopt},
        {"{\"message\":\"\xff\"}", std::nullopt},
        {"{\"message\":\"\xc3\"}", std::nullopt},
        // Hostile nesting must neither crash nor be taken for a record.
        {nested(100000), std::nullopt},
        {R"({"message":)" + nested(100000) + "}", std::nullopt},
        {R"({"ignored":)" + nested(100000) + R"(,"message":"deep"})",
         APIResponse{std::nullopt, "deep", std::nullopt}},
    };
    for (const ReplyCase& c : cases) {
        EXPECT_EQ(decodeAPIResponse(c.body), c.expected) << c.body.substr(0, 80);
    }
}

TEST(APIResponseEncoding, LeavesAbsentMembersOutAndReadsBack) {
    EXPECT_EQ(encodeAPIResponse(APIResponse{}), "{}");
    EXPECT_EQ(encodeAPIResponse(APIResponse{false, std::nullopt, "e"}),
              R"({"success":false,"error":"e"})");
    const APIResponse full{true, "m \"q\"", "ç"};
    EXPECT_EQ(decodeAPIResponse(encodeAPIResponse(full)), full);
}

} // namespace
} // namespace submission
