#include "service/Handler.h"

#include "service/PageCache.h"
#include "service/ServiceTestSupport.h"
#include "service/pages/ResultPage.h"
#include "submission/APIResponse.h"

#include <gtest/gtest.h>

#include <functional>
#include <zlib.h>

namespace service {
namespace {

using namespace std::chrono_literals;

const std::string kGood = *submission::encodePayload(clientRecord("M9", 10.5));

class HandlerTest : public ::testing::Test, public FileService {
protected:
    HandlerTest() : FileService(RateLimit{60.0, 2.0}) {
        context.steadyClock = [this] { return now_; };
        context.pages = &pages_;
    }

    std::chrono::steady_clock::time_point now_{};
    static constexpr std::size_t kPageBytes = 64 * 1024; // a few pages: more are forgotten
    PageCache pages_{kPageBytes};
};

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
        {placed(12, 3, 4), "4 sonuç arasında 3. sırada. Sayfası", true},     // too few to compare
        {placed(9, 99999999, 99999999, 50.0), "99.999.999. sırada.", false}, // no room to compare
        {placed(12, 3, 57), "57 sonuç arasında 3. sırada (ilk %5). Sayfası: /r/12", true},
        {placed(1, 1, 1), "1 sonuç arasında 1. sırada. Sayfası",
         true}, // a share of few says little
        {placed(4, 2, 2), "2 sonuç arasında 2. sırada. Sayfası: /r/4", true},
        {placed(4, 3, 9), "9 sonuç arasında 3. sırada. Sayfası", true},
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
        {"limit text", get("/api/scores", {{"limit", "-1"}}), 400, "limit"},
        {"unknown order", get("/api/processors", {{"sort", "speed"}}), 400, "median, count ya da"},
        {"processors limit", get("/api/processors", {{"limit", "101"}}), 400, "limit 1 ile 100"},
        {"processors offset", get("/api/processors", {{"offset", "100001"}}), 400, "0 ile 100000"},
        {"no processor", get("/api/processor"), 400, "chip"},
        {"unknown processor", get("/api/processor", {{"chip", "M0"}}), 404, "işlemci yok"},
        {"POST processors", Request{"POST", "/processors", {}, "", "", "x", "", "", "", ""}, 405,
         "yöntem"},
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
    int status = 0;
    int chip = 0;
    for (; chip <= 120 && status != 429; ++chip) {
        status = send(get("/api/scores", {{"chip", std::to_string(chip)}})).status;
    }
    EXPECT_EQ(status, 429);
    EXPECT_EQ(send(get("/r/1")).status, 429) << "a result's page shares the reads' bucket";
    const auto kept =
        answerAtOnce(get("/api/scores", {{"chip", std::to_string(chip - 2)}}), context);
    EXPECT_EQ(kept ? kept->status : 0, 429) << "a page kept counts too";
}

std::string field(const Response& response, std::string_view name) {
    const auto& fields = response.headers;
    const auto found = std::find_if(fields.begin(), fields.end(),
                                    [&](const auto& field) { return field.first == name; });
    return found == fields.end() ? "" : found->second;
}

// `packed` as a client that took gzip reads it.
std::string gunzip(std::string_view packed) {
    z_stream stream{};
    std::string text(std::size_t{1} << 20, '\0');
    inflateInit2(&stream, 16 + MAX_WBITS);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    stream.next_out = reinterpret_cast<Bytef*>(text.data());
    stream.avail_out = static_cast<uInt>(text.size());
    EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
    text.resize(stream.total_out);
    inflateEnd(&stream);
    return text;
}

Request read(std::string path, std::map<std::string, std::string> query = {},
             std::string ifNoneMatch = "", std::string acceptEncoding = "",
             std::string method = "GET") {
    Request request = get(std::move(path), std::move(query));
    request.ifNoneMatch = std::move(ifNoneMatch);
    request.acceptEncoding = std::move(acceptEncoding);
    request.method = std::move(method);
    return request;
}

TEST_F(HandlerTest, EveryReadRevalidatesAndOnlyItsAnswersAreKept) {
    ASSERT_EQ(send(post(clientRecord("R7", 10.0))).status, 200);
    // A read, its status, and whether a shared cache may serve it unasked for a while.
    const std::vector<std::tuple<Request, int, bool>> cases = {
        {read("/", {{"page", "1"}}), 200, true},
        {read("/", {{"chip", "R7"}}), 200, true},
        {read("/processors", {{"sort", "count"}}), 200, true},
        {read("/compare", {{"a", "R7"}, {"b", "R7"}}), 200, true},
        {read("/api/scores"), 200, true},
        {read("/api/processors"), 200, true},
        {read("/api/processor", {{"chip", "R7"}}), 200, true},
        {read("/r/1"), 200, false}, // its rank moves with every new result
        {read("/r/2", {}, "*"), 404, false},
        {read("/", {{"page", "2"}}, "*"), 400, false},
        {read("/api/processor", {{"chip", "M0"}}, "*"), 404, false},
    };
    for (const auto& [request, status, shared] : cases) {
        now_ += 1min;
        const Response first = send(request);
        const std::string what = request.path + " " + std::string(bodyOf(first).substr(0, 200));
        EXPECT_EQ(first.status, status) << what;
        EXPECT_EQ(field(first, "Vary"), "Accept-Encoding") << what;
        const std::string kept = field(first, "Cache-Control");
        EXPECT_EQ(kept.find("max-age=") != std::string::npos, shared) << what << kept;
        if (status != 200) {
            EXPECT_EQ(kept, "no-store") << what;
            EXPECT_EQ(field(first, "ETag"), "") << what;
            continue;
        }
        Request again = request;
        again.ifNoneMatch = field(first, "ETag");
        const Response second = send(again);
        EXPECT_EQ(std::make_tuple(second.status, bodyOf(second), field(second, "Cache-Control")),
                  std::make_tuple(304, std::string_view(), kept))
            << what;
        EXPECT_EQ(field(second, "ETag"), again.ifNoneMatch) << what;
    }
}

TEST_F(HandlerTest, APageIsKeptWhileTheBoardStandsItsTagFollowsAndGzipWhereTaken) {
    for (int i = 0; i < 24; ++i) { // a board the review can hold a fake against
        now_ += 1min;
        ASSERT_EQ(send(post(clientRecord("R7", 10.0 + 0.05 * (i % 9 - 4)))).status, 200);
    }
    std::int64_t held = 0;
    const auto hold = [&] {
        held =
            *submission::decodeAPIResponse(send(post(clientRecord("R7", 0.5, "Fake,1"))).body)->id;
    };
    const auto operate = [&](std::string verb) {
        return [this, verb, &held] {
            const auto [status, said] = admin(database, {verb, std::to_string(held)});
            ASSERT_EQ(status, 0) << said;
        };
    };
    const auto submit = [&] { ASSERT_EQ(send(post(clientRecord("R7", 11.0))).status, 200); };
    const auto flood = [this] {
        for (int offset = 0; offset < 40; ++offset) {
            ASSERT_EQ(send(read("/api/scores", {{"offset", std::to_string(offset)}})).status, 200);
        }
        EXPECT_LE(pages_.bytes(), kPageBytes);
    };
    const std::string kTag = "TAG"; // the tag of the answer before
    struct Case {
        const char* what;
        std::function<void()> change;
        Request request;
        int status;
        bool gzipped = false;
        std::chrono::milliseconds after = 1min; // since the case before
    };
    const std::vector<Case> cases = {
        {"a first view", {}, read("/"), 200},
        {"its tag", {}, read("/", {}, kTag), 304},
        {"among others, weak", {}, read("/", {}, "\"x\", W/" + kTag), 304},
        {"another tag", {}, read("/", {}, "\"x\""), 200},
        {"any tag", {}, read("/", {}, "*"), 304},
        {"a held result, shown nowhere", hold, read("/", {}, kTag), 304},
        {"that result approved, but just now", operate("approve"), read("/", {}, kTag), 304, false,
         999ms},
        {"a second after the board was read", {}, read("/", {}, kTag), 200, false, 1ms},
        {"that result hidden", operate("hide"), read("/", {}, kTag), 200},
        {"a new result, at once", submit, read("/", {}, kTag), 200, false, 0ms},
        {"gzip, under the plain body's tag", {}, read("/", {}, kTag, "br, gzip"), 200, true},
        {"gzip, under its own", {}, read("/", {}, kTag, "gzip"), 304},
        {"gzip refused", {}, read("/", {}, kTag, "gzip;q=0, *"), 200},
        {"HEAD", {}, read("/", {}, "", "*", "HEAD"), 200, true},
        {"too short to gzip", {}, read("/api/processor", {{"chip", "R7"}}, "", "gzip"), 200},
        {"another held", hold, read("/api/processor", {{"chip", "R7"}}), 200},
        {"that one hidden", operate("hide"), read("/api/processor", {{"chip", "R7"}}, kTag), 200},
        {"other addresses past the budget", flood, read("/api/processor", {{"chip", "R7"}}, kTag),
         304},
    };
    std::string tag;
    for (const auto& c : cases) {
        now_ += c.after;
        if (c.change) {
            c.change();
        }
        Request request = c.request;
        if (const auto at = request.ifNoneMatch.find(kTag); at != std::string::npos) {
            request.ifNoneMatch.replace(at, kTag.size(), tag);
        }
        const Response response = send(request);
        EXPECT_EQ(response.status, c.status) << c.what;
        EXPECT_EQ(field(response, "Content-Encoding"), c.gzipped ? "gzip" : "") << c.what;
        EXPECT_EQ(response.status == 304, bodyOf(response).empty()) << c.what;
        if (c.gzipped) {
            EXPECT_EQ(gunzip(bodyOf(response)), bodyOf(send(read(request.path, request.query))))
                << c.what;
        }
        tag = field(response, "ETag");
    }
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
