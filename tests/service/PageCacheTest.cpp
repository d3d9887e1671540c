#include "service/PageCache.h"

#include "service/ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <zlib.h>

namespace service {
namespace {

using namespace std::chrono_literals;

TEST(PageCache, ServesAPageWhileTheBoardStandsAndForgetsPastItsBudget) {
    const auto page = [](std::size_t bytes) {
        return std::make_shared<const Cacheable>(
            Cacheable{{}, std::make_shared<const std::string>(bytes, 'x'), "", {}, ""});
    };
    PageCache cache(4000); // two pages of 1000 bytes fit, with what each costs beside; three do not
    auto now = PageCache::Clock::time_point{} + 1h;
    std::uint64_t begun = 0;
    using Step = std::function<void()>;
    const auto both = [](Step a, Step b) { return [a, b] { a(), b(); }; };
    const auto keep = [&](std::string key, std::size_t bytes = 1000) -> Step {
        return [&, key, bytes] { cache.keep(key, cache.stamp(), page(bytes)); };
    };
    const auto wait = [&](auto duration) -> Step { return [&, duration] { now += duration; }; };
    const auto read = [&](std::int64_t changes) -> Step {
        return [&, changes] { cache.observed({changes, 0}, now); };
    };
    const Step claim = [&] { EXPECT_TRUE(cache.claimCheck(now)); };
    const Step noClaim = [&] { EXPECT_FALSE(cache.claimCheck(now)); };
    // A step, then the key looked up and whether a page is served for it ("" looks up none).
    const std::vector<std::tuple<const char*, Step, std::string, bool>> steps = {
        {"before any read of the board", keep("a"), "a", false},
        {"one reader at a time", both(claim, noClaim), "", false},
        {"the board read", read(7), "a", false}, // kept before it was known: stale
        {"a page rendered now", keep("a"), "a", true},
        {"no read within the interval", noClaim, "", false},
        {"at its end", wait(999ms), "a", true},
        {"past it, unread", wait(1ms), "a", false},
        {"read, unmoved", both(claim, read(7)), "a", true},
        {"a render begins", [&] { begun = cache.stamp(); }, "", false},
        {"this process changes the board", [&] { cache.changed(); }, "a", false},
        {"what was begun before is not kept", [&] { cache.keep("a", begun, page(1)); }, "a", false},
        {"rendered again", keep("a"), "a", true},
        {"a second on, another process moved the tally", both(wait(1s), both(claim, read(8))), "a",
         false},
        {"kept anew", keep("a"), "", false},
        {"a second on, a failed read", both(wait(1s), both(claim, [&] { cache.unobserved(); })),
         "a", false},
        {"lets the next request read", both(claim, read(8)), "a", true},
        {"a second page", keep("b"), "a", true}, // a is now the one found last
        {"a third: b goes", keep("c"), "b", false},
        {"a stays", {}, "a", true},
        {"within the budget", [&] { EXPECT_LE(cache.bytes(), 4000U); }, "c", true},
        {"a page over the budget is not kept", keep("d", 5000), "d", false},
        {"nor does it push others out", {}, "c", true},
    };
    for (const auto& [what, step, key, served] : steps) {
        if (step) {
            step();
        }
        if (!key.empty()) {
            EXPECT_EQ(cache.find(key, now) != nullptr, served) << what;
        }
    }
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
        EXPECT_EQ(atOnce_, 304) << what;
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
        int atOnce = 0;
    };
    const std::vector<Case> cases = {
        {"a first view", {}, read("/"), 200},
        {"again at once", {}, read("/"), 200, false, 0ms, 200},
        {"its tag", {}, read("/", {}, kTag), 304},
        {"among others, weak", {}, read("/", {}, "\"x\", W/" + kTag), 304},
        {"another tag", {}, read("/", {}, "\"x\""), 200},
        {"any tag", {}, read("/", {}, "*"), 304},
        {"a held result, shown nowhere", hold, read("/", {}, kTag), 304},
        {"that result approved, but just now", operate("approve"), read("/", {}, kTag), 304, false,
         999ms, 304},
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
        {"an unknown address", {}, get("/admin"), 404, false, 1min, 404},
        {"a page by POST", {}, read("/", {}, "", "", "POST"), 405, false, 1min, 405},
        {"the icon", {}, get("/favicon.ico"), 200, false, 1min, 200},
        {"health", {}, get("/healthz"), 200},
        {"a submission", {}, post(clientRecord("R7", 12)), 200},
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
        EXPECT_EQ(std::make_pair(response.status, atOnce_), std::make_pair(c.status, c.atOnce))
            << c.what;
        EXPECT_EQ(field(response, "Content-Encoding"), c.gzipped ? "gzip" : "") << c.what;
        EXPECT_EQ(response.status == 304, bodyOf(response).empty()) << c.what;
        if (c.gzipped) {
            EXPECT_EQ(gunzip(bodyOf(response)), bodyOf(send(read(request.path, request.query))))
                << c.what;
        }
        tag = field(response, "ETag");
    }
}

} // namespace
} // namespace service
