#include "submission/Submission.h"

#include "support/ExpectedTexts.h"
#include "support/Peer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <unistd.h>

namespace submission {
namespace {

using namespace std::chrono_literals;
using namespace testsupport::texts;
using testsupport::Peer;

const Payload kSample{"Mac99,1", "Ryzen \"9\"", 24, 36.75, 15.75, 84, 0};

struct Case {
    std::string name;
    std::string peerCase;
    std::vector<std::string> options;
    std::string text;
    std::size_t requests = 1; // 0: refused before the request left
    friend void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }
};

class Exchange : public testing::TestWithParam<Case> {};

TEST_P(Exchange, TellsTheUserWhatHappened) {
    const Case& c = GetParam();
    Peer peer(c.peerCase, c.options);
    // The idle limit leaves a loaded machine room for a handshake; the silent peer outwaits it.
    EXPECT_EQ(submitPayload({peer.url(), Peer::caFile(), 10s}, kSample).statusText, c.text);
    EXPECT_EQ(peer.requests().size(), c.requests);
}

std::vector<std::string> reply(const std::string& status, const std::string& body) {
    return {"--status", status, "--body", body};
}

const Case kCases[] = {
    {"AcceptedNoMessage", "reply", reply("200", R"({"error":"e"})"), kAcceptedFallback},
    {"AcceptedEmptyMessage", "reply", reply("200", R"({"message":""})"), kAccepted},
    {"WrongType", "reply", reply("200", R"({"success":1,"message":"m"})"), kAcceptedFallback},
    {"NotFoundNoError", "reply", reply("404", R"({"message":"m"})"), kRefusedFallback},
    // Lenient about presence, strict about type: a reply that does not decode is unread.
    {"NullsAndUnknownKeys", "reply",
     reply("500", R"({"success":false,"message":null,"error":"e","x":[1]})"), kRefused + "e"},
    {"MessageNotText", "reply", reply("500", R"({"message":1,"error":"e"})"), kRefusedFallback},
    {"TrailingBytes", "reply", reply("500", R"({"error":"e"} x)"), kRefusedFallback},
    {"IllFormedUtf8", "reply", reply("500", "{\"error\":\"\xff\"}"), kRefusedFallback},
    {"DeepNesting", "reply", reply("200", std::string(50000, '[') + std::string(50000, ']')),
     kAcceptedFallback},
    {"UntrustedCa", "reply", {"--leaf", "untrusted"}, kConnectionFailure, 0},
    {"OtherHostName", "reply", {"--leaf", "wronghost"}, kConnectionFailure, 0},
    // The late answer would be accepted if the 10 s idle limit did not end the wait.
    {"SilentPastIdleLimit", "hang", {}, kConnectionFailure},
    {"CutInHeaders", "cut-headers", {}, kConnectionFailure},
    {"CutInHeadersCloseNotify", "cut-headers-notify", {}, kConnectionFailure},
    {"ResetMidBody", "reset-mid-body", {}, kConnectionFailure},
    // Followed, the redirection would be a second request.
    {"RedirectNotFollowed", "reply", {"-s", "302", "-H", "Location: /moved"}, kRefusedFallback},
    // The reply cap: exactly 1 MiB is read, one byte more is not.
    {"ReplyOf1MiB", "sized-json", {"--size", "1048576"}, kAccepted + "Büyük"},
    {"ReplyOver1MiB", "sized-json", {"--size", "1048577"}, kAcceptedFallback},
    // The cap counts decoded bytes: a bomb inflating to 64 MiB ends like any oversized reply.
    {"Gzip", "gzip", {}, kAccepted + "Sıkıştırılmış"},
    {"GzipBomb", "gzip-bomb", {}, kAcceptedFallback},
    // A body in a coding that does not decode is unusable, but the status still decides.
    {"CorruptGzip", "reply", {"-H", "Content-Encoding: gzip"}, kAcceptedFallback},
    {"Compress503", "reply", {"-s", "503", "-H", "Content-Encoding: compress"}, kRefusedFallback}};

INSTANTIATE_TEST_SUITE_P(Peers, Exchange, testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.name; });

// Nothing is sent for an unusable endpoint or record: JSON cannot carry these numbers and bytes.
TEST(ExchangeRequest, NoneForAnUnusableEndpointOrRecord) {
    Peer peer("reply");
    const std::string hostPort = "127.0.0.1:" + std::to_string(peer.port());
    for (const std::string& url : {"http://" + hostPort, "https://u:p@" + hostPort,
                                   peer.url() + "?a=1", peer.url() + "#top"}) {
        EXPECT_EQ(submitPayload({url, Peer::caFile(), 5s}, kSample).statusText, kConnectionFailure)
            << url;
    }
    const double inf = std::numeric_limits<double>::infinity();
    for (const Payload& payload : std::vector<Payload>{{"d", "c", 8, inf, 1.0, 84, 0},
                                                       {"d", "c", 8, 1.0, -inf / inf, 84, 0},
                                                       {"Mac\xc3", "c", 8, 1.0, 1.0, 84, 0},
                                                       {"d", "\xed\xa0\x80", 8, 1.0, 1.0, 84, 0}}) {
        EXPECT_EQ(submitPayload({peer.url(), Peer::caFile(), 5s}, payload).statusText,
                  kConnectionFailure);
    }
    EXPECT_TRUE(peer.requests().empty());
}

// The program reads no environment: a proxy named there, at a closed port, is not used, and
// no TLS secret goes to SSLKEYLOGFILE. libcurl reads that once, when it first initialises, so
// this holds only in a process of its own, as CTest runs each test; set after the peers start,
// so that only the client could write the file.
TEST(ExchangeRequest, OnePostOfTheRecordStraightToApiSubmit) {
    Peer peer("reply");
    Peer proxy("reply");
    proxy.stop();
    const std::string closed = "http://127.0.0.1:" + std::to_string(proxy.port());
    const auto keyLog =
        std::filesystem::temp_directory_path() / ("keylog-" + std::to_string(getpid()) + ".txt");
    const std::vector<std::pair<const char*, std::string>> environment = {
        {"https_proxy", closed}, {"HTTPS_PROXY", closed}, {"SSLKEYLOGFILE", keyLog}};
    for (const auto& [name, value] : environment) {
        ASSERT_EQ(setenv(name, value.c_str(), 1), 0);
    }
    for (const std::string& base : {peer.url(), peer.url() + "/", peer.url() + "/scores"}) {
        EXPECT_EQ(submitPayload({base, Peer::caFile(), 5s}, kSample).statusText,
                  kAccepted + "Skor kaydedildi");
    }
    for (const auto& [name, value] : environment) {
        unsetenv(name);
    }
    std::error_code error;
    EXPECT_EQ(std::filesystem::file_size(keyLog, error) * !error, 0U);
    std::filesystem::remove(keyLog, error);
    auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 3u);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].method, "POST");
        EXPECT_EQ(requests[i].path, i < 2 ? "/api/submit" : "/scores/api/submit");
        EXPECT_EQ(requests[i].headers["content-type"],
                  std::vector<std::string>{"application/json"});
        const auto agent = requests[i].headers["user-agent"];
        ASSERT_EQ(agent.size(), 1U);
        EXPECT_TRUE(agent[0].starts_with("benchmark-companion/") && agent[0].back() != '/');
        EXPECT_EQ(requests[i].body,
                  R"({"device_name":"Mac99,1","chip_type":"Ryzen \"9\"",)"
                  R"("ram_gb":24,"xcode_build_sec":36.75,)"
                  R"("resin_slicer_sec":15.75,"max_temp_c":84,"swap_used_mb":0})");
    }
}

TEST(OutcomeForStatus, OnlyExactly200IsAccepted) {
    for (const long status : {0L, 100L, 199L, 200L, 201L, 204L, 299L, 302L, 404L, 2000L}) {
        EXPECT_EQ(outcomeForStatus(status) == Outcome::Accepted, status == 200) << status;
    }
}

} // namespace
} // namespace submission
