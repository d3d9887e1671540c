#include "submission/Submission.h"
#include "support/ExpectedTexts.h"
#include "support/TlsTestServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <httplib.h>
#include <thread>
#include <vector>

namespace submission {
namespace {

using namespace std::chrono_literals;
using testsupport::ScriptedReply;
using testsupport::TlsTestServer;

using namespace testsupport::texts;

Payload samplePayload() {
    return Payload{"Mac99,1", "Ryzen \"9\" 7950X", 24, 36.75, 15.75, 84, 0};
}

Endpoint endpointFor(const TlsTestServer& server, std::chrono::seconds idle = 60s) {
    return Endpoint{server.baseUrl(), server.caFile(), idle};
}

// A JSON reply of exactly `size` bytes whose message is all 'x'.
std::string messageReplyOfSize(std::size_t size) {
    const std::string open = R"({"message":")";
    const std::string close = R"("})";
    return open + std::string(size - open.size() - close.size(), 'x') + close;
}

struct ExchangeCase {
    int status;
    std::string body;
    std::string expected;
};

TEST(SubmitPayload, OutcomeFollowsTheStatusAndTheDecodableReply) {
    const std::size_t cap = std::size_t{1} << 20;
    const std::vector<ExchangeCase> cases = {
        {200, R"({"success":true,"message":"Skor kaydedildi"})", kAccepted + "Skor kaydedildi"},
        {200, R"({"message":""})", kAccepted},
        {200, R"({"success":false,"error":"ignored"})", kAcceptedFallback},
        {200, R"({"message":null})", kAcceptedFallback},
        {200, "not json at all", kAcceptedFallback},
        {200, "", kAcceptedFallback},
        {201, R"({"error":"Zaten var"})", kRefused + "Zaten var"},
        {201, R"({"message":"created"})", kRefusedFallback},
        {204, "", kRefusedFallback},
        {404, R"({"message":"only a message"})", kRefusedFallback},
        {500, R"({"error":"Sunucu çöktü"})", kRefused + "Sunucu çöktü"},
        {500, R"({"error":""})", kRefused},
        {500, "<html>Internal Server Error</html>", kRefusedFallback},
        // The reply cap: exactly 1 MiB is read, one byte more is not.
        {200, messageReplyOfSize(cap), kAccepted + std::string(cap - 14, 'x')},
        {200, messageReplyOfSize(cap + 1), kAcceptedFallback},
        {200, messageReplyOfSize(3 * cap), kAcceptedFallback},
        {500, R"({"error":")" + std::string(2 * cap, 'e') + R"("})", kRefusedFallback},
    };
    TlsTestServer server;
    for (const ExchangeCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.status) + " " + c.body.substr(0, 60));
        server.reply(c.status, c.body);
        const SubmissionResult result = submitPayload(endpointFor(server), samplePayload());
        EXPECT_EQ(result.statusText, c.expected);
        EXPECT_EQ(result.outcome, c.status == 200 ? Outcome::Accepted : Outcome::Refused);
    }
    EXPECT_EQ(server.requestCount(), cases.size()); // one request each, never retried
}

TEST(SubmitPayload, SendsOnePostWithTheEncodedRecord) {
    TlsTestServer server;
    server.reply(200, R"({"message":"ok"})");
    for (const std::string suffix : {"", "/"}) {
        const Endpoint endpoint{server.baseUrl() + suffix, server.caFile(), 60s};
        EXPECT_EQ(submitPayload(endpoint, samplePayload()).statusText, kAccepted + "ok");
    }
    const Endpoint prefixed{server.baseUrl() + "/scores/", server.caFile(), 60s};
    submitPayload(prefixed, samplePayload());

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    const std::vector<std::string> paths = {"/api/submit", "/api/submit", "/scores/api/submit"};
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const auto& request = requests[i];
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.path, paths[i]);
        EXPECT_EQ(request.headerValues("Content-Type"),
                  std::vector<std::string>{"application/json"});
        EXPECT_TRUE(request.headerValues("Authorization").empty());
        EXPECT_EQ(request.body, encodePayload(samplePayload()));
        EXPECT_EQ(decodePayload(request.body), samplePayload());
    }
}

TEST(SubmitPayload, UnencodableRecordIsAConnectionFailureAndSendsNothing) {
    TlsTestServer server;
    server.reply(200, R"({"message":"ok"})");
    Payload notFinite = samplePayload();
    notFinite.xcode_build_sec = std::numeric_limits<double>::infinity();
    Payload notUtf8 = samplePayload();
    notUtf8.device_name = "Mac\xff";
    for (const Payload& payload : {notFinite, notUtf8}) {
        const SubmissionResult result = submitPayload(endpointFor(server), payload);
        EXPECT_EQ(result.outcome, Outcome::ConnectionFailure);
        EXPECT_EQ(result.statusText, kConnectionFailure);
    }
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST(SubmitPayload, UnusableEndpointIsAConnectionFailureAndSendsNothing) {
    TlsTestServer server;
    server.reply(200, R"({"message":"ok"})");
    const std::string hostPort = "127.0.0.1:" + std::to_string(server.port());
    const std::vector<std::string> urls = {
        "",
        "not a url",
        hostPort,
        "https://",
        "https:///api",
        "ftp://" + hostPort,
        "https://user:secret@" + hostPort,
        "https://" + hostPort + "?key=1",
        "https://" + hostPort + "#top",
        "https://" + hostPort + "/a b",
    };
    for (const std::string& url : urls) {
        const SubmissionResult result =
            submitPayload(Endpoint{url, server.caFile(), 60s}, samplePayload());
        EXPECT_EQ(result.statusText, kConnectionFailure) << url;
    }
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST(SubmitPayload, PlainHttpIsNeverSpoken) {
    httplib::Server plain;
    std::atomic<int> received{0};
    plain.Post(".*", [&](const httplib::Request&, httplib::Response& response) {
        ++received;
        response.set_content(R"({"message":"ok"})", "application/json");
    });
    const int port = plain.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread serving([&] { plain.listen_after_bind(); });
    while (!plain.is_running()) {
        std::this_thread::sleep_for(1ms);
    }
    const Endpoint endpoint{"http://127.0.0.1:" + std::to_string(port), "", 60s};
    const SubmissionResult result = submitPayload(endpoint, samplePayload());
    plain.stop();
    serving.join();
    EXPECT_EQ(result.statusText, kConnectionFailure);
    EXPECT_EQ(received.load(), 0);
}

// Idle exchanges, TLS failures, redirects and broken peers are the fault
// matrix's (tests/faults); this is the other side of the idle limit.
TEST(SubmitPayload, ASlowReplyThatKeepsMovingCompletes) {
    TlsTestServer server;
    // About two seconds in all, yet never a second without a byte.
    ScriptedReply trickle;
    trickle.body = R"({"message":"slow but steady"})";
    trickle.trickleInterval = 400ms;
    trickle.trickleChunks = 5;
    server.reply(trickle);
    EXPECT_EQ(submitPayload(endpointFor(server, 1s), samplePayload()).statusText,
              kAccepted + "slow but steady");
}

TEST(SubmitPayload, ConcurrentFirstCallsAreSafe) {
    TlsTestServer server;
    server.reply(200, R"({"message":"ok"})");
    std::vector<std::string> texts(4);
    std::vector<std::thread> workers;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        workers.emplace_back(
            [&, i] { texts[i] = submitPayload(endpointFor(server), samplePayload()).statusText; });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    for (const auto& text : texts) {
        EXPECT_EQ(text, kAccepted + "ok");
    }
    EXPECT_EQ(server.requestCount(), texts.size());
}

} // namespace
} // namespace submission
