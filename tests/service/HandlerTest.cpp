#include "service/Handler.h"

#include "service/Log.h"
#include "service/ServiceTestSupport.h"
#include "service/store/SqlScoreStore.h"
#include "submission/APIResponse.h"

#include <gtest/gtest.h>

namespace service {
namespace {

using namespace std::chrono_literals;

const std::string kGood = *submission::encodePayload(clientRecord("M9", 10.5));

struct Exchange {
    const char* what;
    Request request;
    int status;
    std::string mentions; // in the reply's message or error
};

Request post(std::string body, std::string type = "application/json") {
    return Request{"POST", "/api/submit", {}, std::move(type), std::move(body), "10.0.0.1", ""};
}

class HandlerTest : public ::testing::Test {
protected:
    Response send(const Request& request) { return handle(request, context_); }

    TempPath file_{"scores.sqlite3"};
    std::unique_ptr<ScoreStore> store_ = openStore(file_.path(), [](const std::string&) {});
    RateLimiter limiter_{RateLimit{60.0, 2.0}};
    std::chrono::steady_clock::time_point now_{};
    ServiceContext context_{*store_, limiter_, [] { return std::chrono::system_clock::now(); },
                            [this] { return now_; }};
};

TEST_F(HandlerTest, EveryAnswerIsAShortJsonReplyWithTheContractStatus) {
    const std::vector<Exchange> cases = {
        {"accepted", post(kGood), 200, "1 sonuç arasında 1. sırada"},
        {"with charset", post(kGood, "Application/JSON; charset=utf-8"), 200,
         "2 sonuç arasında 1."},
        {"decomposed name", post(*submission::encodePayload(clientRecord("Ce\u0301", 9))), 200,
         "1 sonuç arasında 1."},
        {"same name composed", post(*submission::encodePayload(clientRecord("C\u00e9", 9))), 200,
         "2 sonuç arasında"},
        {"not JSON type", post(kGood, "text/plain"), 415, "application/json"},
        {"no type", post(kGood, ""), 415, "application/json"},
        {"not JSON", post("{\"device_name\":"), 400, "JSON nesnesi"},
        {"NUL after the record", post(kGood + std::string(1, '\0') + "{}"), 400, "JSON nesnesi"},
        {"an array", post("[1,2]"), 400, "JSON nesnesi"},
        {"missing member", post(R"({"device_name":"a","chip_type":"b"})"), 400, "ram_gb"},
        {"wrong type", post(R"({"device_name":"a","chip_type":7})"), 400, "chip_type"},
        {"implausible", post(*submission::encodePayload(clientRecord("M9", 0))), 400,
         "xcode_build_sec"},
        {"GET submit", get("/api/submit"), 405, "yöntem"},
        {"PUT page", Request{"PUT", "/", {}, "", "", "x", ""}, 405, "yöntem"},
        {"unknown path", get("/admin"), 404, "Bulunamadı"},
        {"limit 0", get("/api/scores", {{"limit", "0"}}), 400, "limit"},
        {"limit 101", get("/api/scores", {{"limit", "101"}}), 400, "limit"},
        {"limit text", get("/api/scores", {{"limit", "-1"}}), 400, "limit"},
        {"health", get("/healthz"), 200, "ok"},
    };
    for (const auto& c : cases) {
        now_ += 1min; // a full bucket each time: the limit has its own test
        const Response response = send(c.request);
        EXPECT_EQ(response.status, c.status) << c.what;
        const auto reply = submission::decodeAPIResponse(response.body);
        ASSERT_TRUE(reply.has_value()) << c.what << ": " << response.body;
        EXPECT_EQ(reply->success, c.status == 200) << c.what;
        const std::string text = reply->message.value_or("") + reply->error.value_or("");
        EXPECT_NE(text.find(c.mentions), std::string::npos) << c.what << ": " << text;
        EXPECT_LE(codePoints(text), kMaxShownChars) << text;
    }
}

TEST_F(HandlerTest, TooManySubmissionsWaitForTheBucketToRefill) {
    EXPECT_EQ(send(post(kGood)).status, 200);
    EXPECT_EQ(send(post("bad")).status, 400); // refused records count too
    const Response refused = send(post(kGood));
    EXPECT_EQ(refused.status, 429);
    EXPECT_NE(refused.body.find("1 saniye sonra"), std::string::npos) << refused.body;
    EXPECT_EQ(refused.headers.at(0), std::make_pair(std::string("Retry-After"), std::string("1")));
    Request other = post(kGood);
    other.clientAddress = "10.0.0.2";
    EXPECT_EQ(send(other).status, 200);
    now_ += 1s;
    EXPECT_EQ(send(post(kGood)).status, 200);
    // Reads have a larger bucket of their own, so new ?chip= values cannot flood the cache.
    int status = 0;
    for (int chip = 0; chip <= 120 && status != 429; ++chip) {
        status = send(get("/api/scores", {{"chip", std::to_string(chip)}})).status;
    }
    EXPECT_EQ(status, 429);
    EXPECT_EQ(send(get("/r/1")).status, 429) << "a result's page shares the reads' bucket";
}

TEST(HandlerUnavailable, ADatabaseThatCannotBeReachedAnswers503) {
    SqlScoreStore store(
        sqliteDialect(),
        []() -> std::unique_ptr<SqlConnection> { throw std::runtime_error("down"); },
        [](const std::string&) {});
    RateLimiter limiter{RateLimit{0.0, 1.0}};
    ServiceContext context{store, limiter, [] { return std::chrono::system_clock::now(); },
                           [] { return std::chrono::steady_clock::now(); }};
    for (const Request& request : {post(kGood), get("/api/scores"), get("/healthz"), get("/")}) {
        EXPECT_EQ(handle(request, context).status, 503) << request.path;
    }
}

TEST(LogLine, NamesTheRequestButCannotBeSplitByIt) {
    const LogEntry entry{std::chrono::system_clock::time_point{},
                         "10.0.0.1",
                         "GET",
                         "/a\r\n1970-01-01 forged\xc2\x9b[m\xe2\x80\xae\xff", // C1 CSI as %C2%9B
                         200,
                         1500us,
                         7};
    EXPECT_EQ(formatLogLine(entry),
              "1970-01-01T00:00:00.000Z 10.0.0.1 GET /a??1970-01-01?forged?[m?? 200 1.5ms id=7");
}

} // namespace
} // namespace service
