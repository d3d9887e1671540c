// The JSON of the reply and which status is accepted. The record's own JSON and the status
// texts are checked as the peer receives and answers it (ExchangeTest).

#include "submission/Submission.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace submission {
namespace {

TEST(APIResponseDecoding, LenientAboutPresenceStrictAboutType) {
    const std::vector<std::pair<std::string, std::optional<APIResponse>>> cases = {
        {"{}", APIResponse{}},
        {R"({"success":false,"message":null,"error":"e","x":[1]})", APIResponse{false, {}, "e"}},
        {R"({"message":1})", std::nullopt},
        {R"({"success":"true"})", std::nullopt},
        {"<html>Bad Gateway</html>", std::nullopt},
        {R"({"message":"ok"} trailing)", std::nullopt},
        {"{\"message\":\"\xff\"}", std::nullopt},
        {std::string(100000, '[') + std::string(100000, ']'), std::nullopt},
    };
    for (const auto& [body, expected] : cases) {
        EXPECT_EQ(decodeAPIResponse(body), expected) << body.substr(0, 40);
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
