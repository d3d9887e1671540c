#include "service/edge/HttpCaching.h"
#include "service/edge/HttpRules.h"
#include "service/edge/RateLimiter.h"
#include "service/edge/WorkPool.h"
#include "submission/APIResponse.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

namespace service {
namespace {

using namespace std::chrono_literals;
using Fields = std::vector<std::pair<std::string, std::string>>;

std::string parameters(int n) {
    std::string query = "a=1";
    for (int i = 1; i < n; ++i) {
        query += "&a" + std::to_string(i) + "=1";
    }
    return query;
}

TEST(AdmitHead, RefusesWhatCouldBeReadTwoWaysAndReadsTheRest) {
    const Fields host{{"Host", "x"}};
    const auto with = [&host](Fields more) {
        more.insert(more.begin(), host.begin(), host.end());
        return more;
    };
    // What, the target, the fields, the refusal's status (0: admitted) and, when admitted, the
    // path, client and Accept read.
    const std::vector<std::tuple<std::string, std::string, Fields, int, std::string>> cases = {
        {"plain", "/healthz", host, 0, "/healthz 10.0.0.9"},
        {"absolute, no path", "http://h", host, 0, "/ 10.0.0.9"},
        {"escaped path", "/a%2Fb", host, 0, "/a/b 10.0.0.9"},
        {"TE Chunked", "/", with({{"Transfer-Encoding", " Chunked"}}), 0, "/ 10.0.0.9"},
        {"CL twice", "/", with({{"Content-Length", "1"}, {"Content-Length", "1"}}), 400, ""},
        {"bad escape", "/%zz", host, 400, ""},
        {"%00 in query", "/?chip=a%00b", host, 400, ""},
        {"broken UTF-8 in query", "/?chip=%C3%A7%FF", host, 400, ""},
        {"UTF-8 in query", "/?chip=%C3%A7", host, 0, "/ 10.0.0.9"},
        {"asterisk form", "*", host, 400, ""},
        {"64 parameters", "/?" + parameters(64), host, 0, "/ 10.0.0.9"},
        {"65 parameters", "/?" + parameters(65), host, 414, ""},
        {"a parameter twice", "/api/scores?limit=1&offset=0&limit=2", host, 400, ""},
        {"forwarded, trusted: last hop", "/",
         with({{"X-Forwarded-For", "1.1.1.1, 2.2.2.2"}, {"x-forwarded-for", "::ffff:3.3.3.3"}}), 0,
         "/ 3.3.3.3"},
        {"forwarded, not an address", "/", with({{"X-Forwarded-For", "1.1.1.1, evil"}}), 400, ""},
        {"accept, over two lines", "/", with({{"Accept", "text/html"}, {"accept", "*/*"}}), 0,
         "/ 10.0.0.9 text/html, */*"},
        {"codings and tags, over two lines", "/",
         with({{"Accept-Encoding", "br"},
               {"If-None-Match", "\"a\""},
               {"accept-encoding", "gzip"},
               {"if-none-match", "W/\"b\""}}),
         0, "/ 10.0.0.9 br, gzip \"a\", W/\"b\""},
    };
    for (const auto& [what, target, fields, status, pathAndWho] : cases) {
        const auto result =
            admitHead({"GET", target, fields, "::ffff:10.0.0.9"}, what.starts_with("forwarded"));
        if (status != 0) {
            ASSERT_TRUE(std::holds_alternative<Refusal>(result)) << what;
            EXPECT_EQ(std::get<Refusal>(result).status, status) << what;
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<Request>(result))
            << what << ": " << std::get<Refusal>(result).message;
        const auto& request = std::get<Request>(result);
        std::string read = request.path + " " + request.clientAddress;
        for (const auto* list : {&request.accept, &request.acceptEncoding, &request.ifNoneMatch}) {
            read += list->empty() ? "" : " " + *list;
        }
        EXPECT_EQ(read, pathAndWho) << what;
    }
}

TEST(Caching, ReadsCodingsAndTagsAsClientsWriteThem) {
    // An Accept-Encoding list, and whether it takes gzip.
    const std::vector<std::pair<std::string, bool>> codings = {
        {"gzip, deflate, br", true},  {"", false},
        {"identity", false},          {"gzip;q=0", false},
        {"GZip ; Q=0.000", false},    {"br, gzip;q=0.001", true},
        {"gzip;level=9;q=0.5", true}, {"*", true},
        {"br, *;q=0.1", true},        {"*;q=0", false},
        {"gzip;q=0, *", false}, // named, gzip has its own weight
        {"*;q=0, x-gzip", true},      {"gzip;q=1.5", false},
        {"gzip;q=", false},           {"gzips", false},
        {"gzip, gzip;q=0", false},
    };
    for (const auto& [list, takes] : codings) {
        EXPECT_EQ(acceptsGzip(list), takes) << list;
    }
    // An If-None-Match list, and whether it names the tag "abc".
    const std::vector<std::pair<std::string, bool>> lists = {
        {"\"abc\"", true},           {"W/\"abc\"", true}, {"\"x,y\", \"abc\"", true}, {"*", true},
        {"\"abcd\", \"ab\"", false}, {"abc", false},      {"\"abc", false},           {"", false},
    };
    for (const auto& [list, names] : lists) {
        EXPECT_EQ(namesTag(list, "\"abc\""), names) << list;
    }
}

// A record with a NUL is edge_test.py's row, on the wire; a reply with one is only here.
TEST(Decoders, AReplyWithANulIsNoReply) {
    EXPECT_FALSE(submission::decodeAPIResponse(R"({"success":true})" + std::string("\0x", 2)));
}

TEST(RateLimiter, KeysClientsStaysBoundedAndForgetsOnlyFullBuckets) {
    EXPECT_EQ(clientKey("2001:db8:1:2:aaaa::1"), "2001:db8:1:2::/64");
    EXPECT_EQ(clientKey("::ffff:203.0.113.9"), "203.0.113.9") << "mapped, on a dual-stack listener";
    const auto t0 = std::chrono::steady_clock::time_point{} + 1h;
    RateLimiter limiter(RateLimit{60.0, 1.0, 60.0, 1.0}, 64);
    EXPECT_FALSE(limiter.admit("2001:db8:1:2::1", t0));
    EXPECT_TRUE(limiter.admit("2001:db8:1:2::2", t0)) << "another address of the same /64";
    EXPECT_FALSE(limiter.admitRead("2001:db8:1:2::2", t0)) << "reads have their own bucket";
    EXPECT_TRUE(limiter.admitRead("2001:db8:1:2::3", t0));
    for (int i = 0; i < 10000; ++i) {
        limiter.admitRead("10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256), t0);
    }
    EXPECT_LE(limiter.size(), 64U + 16U);
    // Pushed out by newcomers while still empty, a client would come back with a full bucket.
    RateLimiter strict(RateLimit{1.0, 1.0});
    EXPECT_FALSE(strict.admit("203.0.113.9", t0));
    EXPECT_TRUE(strict.admit("203.0.113.9", t0));
    for (int i = 0; i < 64; ++i) {
        strict.admit("10.1.0." + std::to_string(i), t0);
    }
    EXPECT_TRUE(strict.admit("203.0.113.9", t0));
}

TEST(WorkPool, AdmitsUpToItsQueueExpiresLateWorkOutlivesAFailureAndStops) {
    std::promise<void> holding, release;
    std::atomic<int> ran{0}, expired{0};
    const auto count = [&](bool late) { ++(late ? expired : ran); };
    {
        WorkPool pool(1, 2, 50ms);
        ASSERT_TRUE(pool.post([&](bool) {
            holding.set_value();
            release.get_future().wait();
            throw std::runtime_error("a failing job");
        }));
        holding.get_future().wait();
        EXPECT_TRUE(pool.post(count));
        EXPECT_TRUE(pool.post(count));
        EXPECT_FALSE(pool.post(count)) << "past the queue limit";
        std::this_thread::sleep_for(100ms);
        release.set_value();
    } // what is queued still runs, on the thread the failure did not end
    EXPECT_EQ(expired.load(), 2);
    EXPECT_EQ(ran.load(), 0);
    // A stop drops what has not started, which nobody could be answered for.
    std::promise<void> started, finish;
    {
        WorkPool pool(1, 2, 1h);
        ASSERT_TRUE(pool.post([&](bool late) {
            started.set_value();
            finish.get_future().wait();
            count(late);
        }));
        started.get_future().wait();
        EXPECT_TRUE(pool.post(count));
        pool.stop();
        EXPECT_FALSE(pool.post(count));
        finish.set_value();
    }
    EXPECT_EQ(ran.load(), 1) << "only the job already running";
}

} // namespace
} // namespace service
