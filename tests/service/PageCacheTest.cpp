// The page cache's decisions as one table of steps: when a kept page may be
// served, who reads the board's tally, and what the byte budget forgets; then
// what the handler answers from it at once, on a connection's own thread.
#include "service/PageCache.h"

#include "service/ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

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

TEST(AnswerAtOnce, GivesWhatTheHandlerWouldWhenNoDatabaseIsNeeded) {
    FileService service;
    PageCache pages;
    auto now = PageCache::Clock::time_point{} + 1h;
    service.context.pages = &pages;
    service.context.steadyClock = [&now] { return now; };
    const Request board = get("/");
    Request held = board;
    held.ifNoneMatch = "*";
    const auto send = [&](Request request) { return [&, request] { service.send(request); }; };
    // What came before, the request, and the status answered at once (0: left to the pool).
    const std::vector<std::tuple<const char*, std::function<void()>, Request, int>> cases = {
        {"a page never read", send(post(clientRecord("R7", 10))), board, 0},
        {"read once", send(board), board, 200},
        {"the page the client holds", {}, held, 304},
        {"another query", {}, get("/", {{"chip", "r7"}}), 0},
        {"a second on", [&] { now += 1s; }, board, 0},
        {"read again", send(board), board, 200},
        {"after a submission", send(post(clientRecord("R7", 11))), board, 0},
        {"an unknown address", {}, get("/admin"), 404},
        {"a page by POST", {}, Request{"POST", "/", {}, "", "", "x", "", "", "", ""}, 405},
        {"the icon", {}, get("/favicon.ico"), 200},
        {"a submission", {}, post(clientRecord("R7", 12)), 0},
        {"health", {}, get("/healthz"), 0},
    };
    for (const auto& [what, before, request, status] : cases) {
        if (before) {
            before();
        }
        const auto quick = answerAtOnce(request, service.context);
        EXPECT_EQ(quick ? quick->status : 0, status) << what;
        if (quick) {
            const Response handled = service.send(request);
            EXPECT_EQ(std::make_tuple(quick->status, bodyOf(*quick), quick->headers),
                      std::make_tuple(handled.status, bodyOf(handled), handled.headers))
                << what;
        }
    }
}

} // namespace
} // namespace service
