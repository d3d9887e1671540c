#include "submission/Endpoint.h"
#include "submission/Submission.h"
#include "support/ExpectedTexts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace submission {
namespace {

using namespace testsupport::texts;

TEST(OutcomeText, FixedTextsAreByteExact) {
    EXPECT_EQ(kAccepted, "\xE2\x9C\x85 ");
    EXPECT_EQ(kRefused.size(), 10u);
    EXPECT_EQ(kConnectionFailure.size(), 88u);
    EXPECT_EQ(kConnectionFailure.substr(0, 7), "\xE2\x9A\xA0\xEF\xB8\x8F ");
    EXPECT_EQ(outcomeText(Outcome::ConnectionFailure, std::nullopt), kConnectionFailure);
    EXPECT_EQ(outcomeText(Outcome::ConnectionFailure, APIResponse{true, "m", "e"}),
              kConnectionFailure);
}

struct TextCase {
    Outcome outcome;
    std::optional<APIResponse> reply;
    std::string expected;
};

TEST(OutcomeText, ChoosesTheReplyTextOrTheFallback) {
    const std::vector<TextCase> cases = {
        {Outcome::Accepted, APIResponse{true, "Skor kaydedildi", std::nullopt},
         kAccepted + "Skor kaydedildi"},
        {Outcome::Accepted, APIResponse{std::nullopt, "", std::nullopt}, kAccepted},
        {Outcome::Accepted, APIResponse{}, kAccepted + "Skor başarıyla gönderildi!"},
        {Outcome::Accepted, std::nullopt, kAccepted + "Skor başarıyla gönderildi!"},
        {Outcome::Accepted, APIResponse{false, std::nullopt, "boom"},
         kAccepted + "Skor başarıyla gönderildi!"},
        {Outcome::Refused, APIResponse{false, std::nullopt, "Geçersiz kayıt"},
         kRefused + "Geçersiz kayıt"},
        {Outcome::Refused, APIResponse{std::nullopt, std::nullopt, ""}, kRefused},
        {Outcome::Refused, APIResponse{true, "only a message", std::nullopt},
         kRefused + "Bilinmeyen Sunucu Hatası"},
        {Outcome::Refused, std::nullopt, kRefused + "Bilinmeyen Sunucu Hatası"},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(outcomeText(c.outcome, c.reply), c.expected);
    }
}

TEST(OutcomeForStatus, OnlyExactly200IsAccepted) {
    EXPECT_EQ(outcomeForStatus(200), Outcome::Accepted);
    for (long status :
         {0L, 100L, 199L, 201L, 202L, 204L, 299L, 301L, 304L, 400L, 404L, 500L, 503L, 2000L}) {
        EXPECT_EQ(outcomeForStatus(status), Outcome::Refused) << status;
    }
}

TEST(EndpointSystem, IsAnHttpsUrlWithTheMinuteIdleTimeout) {
    const Endpoint endpoint = Endpoint::system();
    EXPECT_EQ(endpoint.baseUrl.rfind("https://", 0), 0u) << endpoint.baseUrl;
    EXPECT_EQ(endpoint.idleTimeout, std::chrono::seconds(60));
}

} // namespace
} // namespace submission
