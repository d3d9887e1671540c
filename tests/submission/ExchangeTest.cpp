// One record submitted to a scripted peer per case: what reaches the peer, what the user is told.

#include "submission/Submission.h"
#include "support/ExpectedTexts.h"
#include "support/Peer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace submission {
namespace {

using namespace std::chrono_literals;
using namespace testsupport::texts;
using testsupport::Peer;

const std::string kMiB = std::to_string(1 << 20);
const std::string kMiBPlusOne = std::to_string((1 << 20) + 1);

Payload samplePayload() {
    return Payload{"Mac99,1", "Ryzen \"9\"", 24, 36.75, 15.75, 84, 0};
}

struct ExchangeCase {
    std::string name;
    std::string peerCase;
    std::vector<std::string> options;
    std::string text;
    std::size_t requests = 1; // 0: refused before the request left
    friend void PrintTo(const ExchangeCase& c, std::ostream* out) { *out << c.name; }
};

class Exchange : public testing::TestWithParam<ExchangeCase> {};

TEST_P(Exchange, TellsTheUserWhatHappened) {
    const ExchangeCase& c = GetParam();
    Peer peer(c.peerCase, c.options);
    EXPECT_EQ(submitPayload({peer.url(), Peer::caFile(), 1s}, samplePayload()).statusText, c.text);
    EXPECT_EQ(peer.requests().size(), c.requests);
}

std::vector<std::string> reply(const std::string& status, const std::string& body) {
    return {"--status", status, "--body", body};
}

INSTANTIATE_TEST_SUITE_P(
    Peers, Exchange,
    testing::Values(
        ExchangeCase{"Accepted", "reply", {}, kAccepted + "Skor kaydedildi"},
        ExchangeCase{"AcceptedNoMessage", "reply", reply("200", R"({"error":"e"})"),
                     kAcceptedFallback},
        ExchangeCase{"Created", "reply", reply("201", R"({"error":"Var"})"), kRefused + "Var"},
        ExchangeCase{"NotFoundNoError", "reply", reply("404", R"({"message":"m"})"),
                     kRefusedFallback},
        ExchangeCase{"ServerError", "reply", reply("500", R"({"error":"Çöktü"})"),
                     kRefused + "Çöktü"},
        ExchangeCase{"UntrustedCa", "reply", {"--leaf", "untrusted"}, kConnectionFailure, 0},
        ExchangeCase{"OtherHostName", "reply", {"--leaf", "wronghost"}, kConnectionFailure, 0},
        // The late answer would be accepted if the 1 s idle limit did not end the wait.
        ExchangeCase{"SilentPastIdleLimit", "hang", {"--hold", "6"}, kConnectionFailure},
        ExchangeCase{"CutInHeaders", "cut-headers", {}, kConnectionFailure},
        ExchangeCase{"CutInHeadersCloseNotify", "cut-headers-notify", {}, kConnectionFailure},
        ExchangeCase{"ResetMidBody", "reset-mid-body", {}, kConnectionFailure},
        ExchangeCase{"NotHttp", "not-http", {}, kConnectionFailure},
        ExchangeCase{"RedirectNotFollowed", "redirect", {}, kRefusedFallback},
        // The reply cap: exactly 1 MiB is read, one byte more is not.
        ExchangeCase{"ReplyOf1MiB", "sized-json", {"--size", kMiB}, kAccepted + "Büyük"},
        ExchangeCase{"ReplyOver1MiB", "sized-json", {"--size", kMiBPlusOne}, kAcceptedFallback},
        ExchangeCase{"ReplyOf64MiB", "stream-64mib", {}, kAcceptedFallback}),
    [](const auto& info) { return info.param.name; });

TEST(ExchangeRequest, OnePostOfTheRecordToApiSubmit) {
    Peer peer("reply");
    for (const std::string& base : {peer.url(), peer.url() + "/", peer.url() + "/scores"}) {
        EXPECT_EQ(submitPayload({base, Peer::caFile(), 5s}, samplePayload()).outcome,
                  Outcome::Accepted);
    }
    const auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 3u);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].method, "POST");
        EXPECT_EQ(requests[i].path, i < 2 ? "/api/submit" : "/scores/api/submit");
        EXPECT_EQ(requests[i].headers("Content-Type"),
                  std::vector<std::string>{"application/json"});
        EXPECT_EQ(requests[i].body,
                  R"({"device_name":"Mac99,1","chip_type":"Ryzen \"9\"",)"
                  R"("ram_gb":24,"xcode_build_sec":36.75,)"
                  R"("resin_slicer_sec":15.75,"max_temp_c":84,"swap_used_mb":0})");
    }
}

TEST(ExchangeRequest, NothingIsSentForAnUnusableEndpointOrRecord) {
    Peer peer("reply");
    Peer closed("reply");
    closed.stop();
    const std::string hostPort = "127.0.0.1:" + std::to_string(peer.port());
    for (const std::string& url :
         std::vector<std::string>{"", hostPort, "http://" + hostPort, "https://u:p@" + hostPort,
                                  peer.url() + "?a=1", peer.url() + "#top", closed.url()}) {
        EXPECT_EQ(submitPayload({url, Peer::caFile(), 5s}, samplePayload()).statusText,
                  kConnectionFailure)
            << url;
    }
    Payload notFinite = samplePayload();
    notFinite.xcode_build_sec = std::numeric_limits<double>::infinity();
    EXPECT_EQ(submitPayload({peer.url(), Peer::caFile(), 5s}, notFinite).statusText,
              kConnectionFailure);
    EXPECT_TRUE(peer.requests().empty());
}

// The program reads no environment: a proxy named there is not used.
TEST(ExchangeRequest, ProxyVariablesAreIgnored) {
    Peer proxy("reply");
    proxy.stop();
    const std::string closed = "http://127.0.0.1:" + std::to_string(proxy.port());
    const auto names = {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"};
    for (const char* name : names) {
        setenv(name, closed.c_str(), 1);
    }
    unsetenv("no_proxy");
    unsetenv("NO_PROXY");
    Peer peer("reply");
    const SubmissionResult result =
        submitPayload({peer.url(), Peer::caFile(), 5s}, samplePayload());
    for (const char* name : names) {
        unsetenv(name);
    }
    EXPECT_EQ(result.statusText, kAccepted + "Skor kaydedildi");
    ASSERT_EQ(peer.requests().size(), 1u);
    EXPECT_EQ(peer.requests()[0].method, "POST"); // not a proxy's CONNECT
}

} // namespace
} // namespace submission
