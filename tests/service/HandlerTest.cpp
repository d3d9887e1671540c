#include "service/Handler.h"

#include "service/ServiceTestSupport.h"
#include "service/pages/ResultPage.h"
#include "submission/APIResponse.h"

#include <gtest/gtest.h>

namespace service {
namespace {

using namespace std::chrono_literals;

const std::string kGood = *submission::encodePayload(clientRecord("M9", 10.5));

Placement placed(std::int64_t id, std::int64_t rank, std::int64_t total,
                 std::optional<double> median = std::nullopt) {
    return {id, rank, total, false, median};
}

TEST(AcceptedReply, GivesRankPercentileAndTheAddressWhileItFits) {
    struct Case {
        Placement placement;
        std::string says;
        bool withAddress;
        double seconds = 40.0;
        std::string publicUrl = "";
    };
    const std::vector<Case> cases = {
        {placed(12, 3, 57, 40.1), "(ilk %5). Ortancayla aynı.", false},
        {placed(12, 3, 57, 40.0), "(ilk %5). Ortancadan %5 yavaş.", false, 42.0},
        {placed(12, 3, 57, 50.0), "Ortancadan %20 hızlı.", false},
        {placed(9, 99999999, 99999999, 50.0), "99.999.999. sırada.", false}, // no room to compare
        {placed(12, 3, 57), "57 sonuç arasında 3. sırada (ilk %5). Sayfası: /r/12", true},
        {placed(4, 3, 9), "9 sonuç arasında 3. sırada. Sayfası", true}, // too few for a share
        {placed(9, 1, 1000), "1.000 sonuç arasında 1. sırada (ilk %1)", true}, // never "ilk %0"
        {placed(9, 999, 1000), "1.000 sonuç arasında 999. sırada. Sayfası", true},
        {placed(9, 5, 1000), "(ilk %1)", true}, // 0.5 rounds up
        {placed(999999999999999999, 99999999, 99999999), "99.999.999. sırada.", false},
        {placed(4, 2, 2), "2. sırada. Sayfası: https://skor.example/r/4", true, 40.0,
         "https://skor.example"},
        {placed(12, 3, 57), "3. sırada (ilk %5).", false, 40.0,
         "https://skor.example"}, // 105 with it
    };
    for (const auto& c : cases) {
        const auto text = acceptedMessage(c.placement, c.seconds, c.publicUrl);
        EXPECT_NE(text.find(c.says), std::string::npos) << text;
        EXPECT_EQ(text.find("/r/") != std::string::npos, c.withAddress) << text;
        EXPECT_LE(codePoints(text), kMaxShownChars) << text;
    }
}

TEST_F(HandlerTest, EveryAnswerIsAShortJsonReplyWithTheContractStatus) {
    // What, the request, its status and what the reply's message or error mentions.
    const std::vector<std::tuple<const char*, Request, int, std::string>> cases = {
        {"accepted", post(kGood), 200, "1 sonuç arasında 1. sırada"},
        {"with charset", post(kGood, "Application/JSON; charset=utf-8"), 200,
         "2 sonuç arasında 1."},
        {"decomposed name", post(clientRecord("Ce\u0301", 9)), 200, "1 sonuç arasında 1."},
        {"same name composed", post(clientRecord("C\u00e9", 9)), 200, "2 sonuç arasında"},
        {"not JSON type", post(kGood, "text/plain"), 415, "application/json"},
        {"no type", post(kGood, ""), 415, "application/json"},
        {"not JSON", post("{\"device_name\":"), 400, "JSON nesnesi"},
        {"an array", post("[1,2]"), 400, "JSON nesnesi"},
        {"missing member", post(R"({"device_name":"a","chip_type":"b"})"), 400, "ram_gb"},
        {"wrong type", post(R"({"device_name":"a","chip_type":7})"), 400, "chip_type"},
        {"implausible", post(clientRecord("M9", 0)), 400, "xcode_build_sec"},
        {"GET submit", get("/api/submit"), 405, "yöntem"},
        {"PUT page", Request{"PUT", "/", {}, "", "", "x", "", "", "", ""}, 405, "yöntem"},
        {"unknown path", get("/admin"), 404, "Bulunamadı"},
        {"limit 0", get("/api/scores", {{"limit", "0"}}), 400, "limit"},
        {"limit 101", get("/api/scores", {{"limit", "101"}}), 400, "limit"},
        {"unknown order", get("/api/processors", {{"sort", "speed"}}), 400, "median, count ya da"},
        {"processors limit", get("/api/processors", {{"limit", "101"}}), 400, "limit 1 ile 100"},
        {"processors offset", get("/api/processors", {{"offset", "100001"}}), 400, "0 ile 100000"},
        {"no processor", get("/api/processor"), 400, "chip"},
        {"unknown processor", get("/api/processor", {{"chip", "M0"}}), 404, "işlemci yok"},
        {"health", get("/healthz"), 200, "ok"},
    };
    for (const auto& [what, request, status, mentions] : cases) {
        now_ += 1min; // a full bucket each time: the limit has its own test
        const Response response = send(request);
        EXPECT_EQ(response.status, status) << what;
        const auto reply = submission::decodeAPIResponse(response.body);
        ASSERT_TRUE(reply.has_value()) << what << ": " << response.body;
        EXPECT_EQ(reply->success, status == 200) << what;
        const std::string text = reply->message.value_or("") + reply->error.value_or("");
        EXPECT_NE(text.find(mentions), std::string::npos) << what << ": " << text;
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
    int status = 0, chip = 0;
    for (; chip <= 120 && status != 429; ++chip) {
        status = send(get("/api/scores", {{"chip", std::to_string(chip)}})).status;
    }
    EXPECT_EQ(status, 429);
    EXPECT_EQ(send(get("/r/1")).status, 429) << "a result's page shares the reads' bucket";
    send(get("/api/scores", {{"chip", std::to_string(chip - 2)}}));
    EXPECT_EQ(atOnce_, 429) << "a page kept counts too";
}

TEST(HandlerUnavailable, ADatabaseThatCannotBeReachedAnswers503) {
    SqlScoreStore store(
        sqliteDialect(),
        []() -> std::unique_ptr<SqlConnection> { throw std::runtime_error("down"); },
        [](const std::string&) {});
    RateLimiter limiter{RateLimit{0.0, 1.0}};
    ServiceContext context = realClocks(store, limiter);
    for (const Request& request : {post(kGood), get("/api/scores"), get("/healthz"), get("/")}) {
        EXPECT_EQ(handle(request, context).status, 503) << request.path;
    }
}

} // namespace
} // namespace service
