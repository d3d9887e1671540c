// The JSON of the record and of the reply, and the status line each outcome becomes.

#include "submission/APIResponse.h"
#include "submission/Payload.h"
#include "submission/Submission.h"
#include "support/ExpectedTexts.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace submission {
namespace {

using namespace testsupport::texts;

TEST(PayloadEncoding, SevenMembersInOrderWithIntegersAsIntegers) {
    EXPECT_EQ(
        encodePayload({"Mac99,1", "M\"9\"", 16, 36.75, 0.1, 84, 0}),
        R"({"device_name":"Mac99,1","chip_type":"M\"9\"","ram_gb":16,"xcode_build_sec":36.75,)"
        R"("resin_slicer_sec":0.1,"max_temp_c":84,"swap_used_mb":0})");
    const Payload turkish{"Türkçe İşlemci", "\u2705", 8, 42.0, 1e-300, -40, -1};
    EXPECT_EQ(decodePayload(*encodePayload(turkish)), turkish);
}

TEST(PayloadEncoding, RefusesWhatJsonCannotCarry) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<Payload> payloads = {
        {"d", "c", 8, inf, 1.0, 84, 0},
        {"d", "c", 8, 1.0, std::numeric_limits<double>::quiet_NaN(), 84, 0},
        {"Mac\xc3", "c", 8, 1.0, 1.0, 84, 0},
        {"d", "\xed\xa0\x80", 8, 1.0, 1.0, 84, 0},
    };
    for (const Payload& payload : payloads) {
        EXPECT_EQ(encodePayload(payload), std::nullopt) << payload.device_name;
    }
}

TEST(APIResponseDecoding, LenientAboutPresenceStrictAboutType) {
    const std::vector<std::pair<std::string, std::optional<APIResponse>>> cases = {
        {"{}", APIResponse{}},
        {R"({"success":false,"message":null,"error":"e","x":[1]})", APIResponse{false, {}, "e"}},
        {R"({"Message":"m"})", APIResponse{}},
        {R"({"message":1})", std::nullopt},
        {R"({"success":"true"})", std::nullopt},
        {R"({"error":["e"]})", std::nullopt},
        {"[]", std::nullopt},
        {"<html>Bad Gateway</html>", std::nullopt},
        {R"({"message":"ok"} trailing)", std::nullopt},
        {"{\"message\":\"\xff\"}", std::nullopt},
        {std::string(100000, '[') + std::string(100000, ']'), std::nullopt},
    };
    for (const auto& [body, expected] : cases) {
        EXPECT_EQ(decodeAPIResponse(body), expected) << body.substr(0, 40);
    }
}

TEST(OutcomeText, TheReplyTextOrTheFallback) {
    const std::vector<std::tuple<Outcome, std::optional<APIResponse>, std::string>> cases = {
        {Outcome::Accepted, APIResponse{true, "Kaydedildi", "e"}, kAccepted + "Kaydedildi"},
        {Outcome::Accepted, APIResponse{true, "", {}}, kAccepted},
        {Outcome::Accepted, APIResponse{true, {}, "e"}, kAcceptedFallback},
        {Outcome::Accepted, std::nullopt, kAcceptedFallback},
        {Outcome::Refused, APIResponse{false, "m", "Geçersiz"}, kRefused + "Geçersiz"},
        {Outcome::Refused, APIResponse{false, "m", {}}, kRefusedFallback},
        {Outcome::Refused, std::nullopt, kRefusedFallback},
        {Outcome::ConnectionFailure, APIResponse{true, "m", "e"}, kConnectionFailure},
    };
    for (const auto& [outcome, reply, text] : cases) {
        EXPECT_EQ(outcomeText(outcome, reply), text);
    }
}

TEST(OutcomeForStatus, OnlyExactly200IsAccepted) {
    EXPECT_EQ(outcomeForStatus(200), Outcome::Accepted);
    for (const long status : {0L, 100L, 199L, 201L, 204L, 299L, 302L, 404L, 500L, 2000L}) {
        EXPECT_EQ(outcomeForStatus(status), Outcome::Refused) << status;
    }
}

} // namespace
} // namespace submission
