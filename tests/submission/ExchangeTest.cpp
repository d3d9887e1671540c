// One record submitted to a scripted peer per case: what the user is told.

#include "submission/Submission.h"
#include "support/ExpectedTexts.h"
#include "support/Peer.h"
#include "support/TlsTestServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

namespace submission {
namespace {

using namespace std::chrono_literals;
using namespace testsupport::texts;
using testsupport::Peer;

constexpr int kMiB = 1 << 20;

Payload samplePayload() {
    return Payload{"Mac99,1", "Ryzen \"9\"", 24, 36.75, 15.75, 84, 0};
}

struct ExchangeCase {
    std::string name;
    std::string peerCase;
    std::vector<std::string> options;
    Outcome outcome;
    std::string text;
    int requestsSeen = 1; // 0: refused before any request left the client

    friend void PrintTo(const ExchangeCase& c, std::ostream* out) { *out << c.name; }
};

class Exchange : public testing::TestWithParam<ExchangeCase> {};

TEST_P(Exchange, EndsInTheExpectedOutcomeAndText) {
    const ExchangeCase& c = GetParam();
    Peer peer(c.peerCase, c.options);
    const SubmissionResult result =
        submitPayload({peer.url(), Peer::caFile(), 1s}, samplePayload());
    EXPECT_EQ(result.statusText, c.text);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(peer.requests().size(), static_cast<std::size_t>(c.requestsSeen));
}

const auto json = [](const std::string& status, const std::string& body) {
    return std::vector<std::string>{"--status", status, "--body", body};
};

INSTANTIATE_TEST_SUITE_P(
    Peers, Exchange,
    testing::Values(
        ExchangeCase{"Accepted", "reply", {}, Outcome::Accepted, kAccepted + "Skor kaydedildi"},
        ExchangeCase{"AcceptedWithoutMessage", "reply", json("200", R"({"error":"yok"})"),
                     Outcome::Accepted, kAcceptedFallback},
        ExchangeCase{"Created", "reply", json("201", R"({"error":"Zaten var"})"), Outcome::Refused,
                     kRefused + "Zaten var"},
        ExchangeCase{"NotFoundWithoutError", "reply", json("404", R"({"message":"yok"})"),
                     Outcome::Refused, kRefusedFallback},
        ExchangeCase{"ServerError", "reply", json("500", R"({"error":"Sunucu çöktü"})"),
                     Outcome::Refused, kRefused + "Sunucu çöktü"},
        ExchangeCase{"UntrustedCa",
                     "reply",
                     {"--leaf", "untrusted"},
                     Outcome::ConnectionFailure,
                     kConnectionFailure,
                     0},
        ExchangeCase{"OtherHostName",
                     "reply",
                     {"--leaf", "wronghost"},
                     Outcome::ConnectionFailure,
                     kConnectionFailure,
                     0},
        // The late answer would be accepted if the 1 s idle limit did not end the wait.
        ExchangeCase{"SilentPastTheIdleLimit",
                     "hang",
                     {"--hold", "6"},
                     Outcome::ConnectionFailure,
                     kConnectionFailure},
        ExchangeCase{
            "CutInsideHeaders", "cut-headers", {}, Outcome::ConnectionFailure, kConnectionFailure},
        ExchangeCase{"CutInsideHeadersWithCloseNotify",
                     "cut-headers-notify",
                     {},
                     Outcome::ConnectionFailure,
                     kConnectionFailure},
        ExchangeCase{
            "ResetMidBody", "reset-mid-body", {}, Outcome::ConnectionFailure, kConnectionFailure},
        ExchangeCase{"NotHttp", "not-http", {}, Outcome::ConnectionFailure, kConnectionFailure},
        ExchangeCase{"RedirectNotFollowed", "redirect", {}, Outcome::Refused, kRefusedFallback},
        // The reply cap: exactly 1 MiB is read, one byte more is not.
        ExchangeCase{"ReplyOfOneMiB",
                     "sized-json",
                     {"--size", std::to_string(kMiB)},
                     Outcome::Accepted,
                     kAccepted + "Büyük"},
        ExchangeCase{"ReplyOverOneMiB",
                     "sized-json",
                     {"--size", std::to_string(kMiB + 1)},
                     Outcome::Accepted,
                     kAcceptedFallback}),
    [](const testing::TestParamInfo<ExchangeCase>& info) { return info.param.name; });

// The program reads no environment: a proxy named there is not used.
TEST(ExchangeEnvironment, ProxyVariablesAreIgnored) {
    const std::string closed =
        "http://127.0.0.1:" + std::to_string(testsupport::closedLoopbackPort());
    for (const char* name : {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
        setenv(name, closed.c_str(), 1);
    }
    unsetenv("no_proxy");
    unsetenv("NO_PROXY");
    Peer peer("reply");
    const SubmissionResult result =
        submitPayload({peer.url(), Peer::caFile(), 5s}, samplePayload());
    for (const char* name : {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
        unsetenv(name);
    }
    EXPECT_EQ(result.statusText, kAccepted + "Skor kaydedildi");
    ASSERT_EQ(peer.requests().size(), 1u);
    EXPECT_EQ(peer.requests()[0].method, "POST"); // not a proxy's CONNECT
}

} // namespace
} // namespace submission
