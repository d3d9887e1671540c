// The client's own submission path against the service's real server and store,
// over TLS with the test CA; the listing is then read through the same handler.
#include "service/Handler.h"
#include "service/HttpServer.h"
#include "service/ServiceTestSupport.h"
#include "service/SqlScoreStore.h"
#include "submission/Submission.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace service {
namespace {

std::string pem(const std::string& name) {
    std::ostringstream text;
    text << std::ifstream(std::string(TEST_PKI_DIR) + "/" + name).rdbuf();
    return text.str();
}

TEST(EndToEnd, TheClientsRecordIsAcceptedAndThenListed) {
    TempPath database("scores.sqlite3");
    const auto store = openStore(database.path(), [](const std::string& e) { ADD_FAILURE() << e; });
    RateLimiter limiter(RateLimit{});
    ServiceContext context{*store, limiter, [] { return std::chrono::system_clock::now(); },
                           [] { return std::chrono::steady_clock::now(); }};
    auto started = HttpServer::start(
        {"127.0.0.1", 0, pem("localhost.pem"), pem("localhost.key")},
        [&](const Request& request) { return handle(request, context); }, [](const LogEntry&) {});
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<HttpServer>>(started));
    const std::string url = "https://127.0.0.1:" + std::to_string(std::get<0>(started)->port());

    const auto result = submission::submitPayload(
        {url, std::string(TEST_PKI_DIR) + "/ca.pem", std::chrono::seconds(10)},
        clientRecord("Ryzen 9 7950X", 10.5, "Şirket <dizüstü>"));
    EXPECT_EQ(result.outcome, submission::Outcome::Accepted);
    EXPECT_EQ(
        result.statusText,
        "✅ Skor kaydedildi: bu işlemcideki 1 sonuç arasında 1. sırada (ilk %100). Sayfası: /r/1");

    const auto listed = handle(
        {"GET", "/api/scores", {{"chip", "Ryzen 9 7950X"}, {"limit", "5"}}, "", "", false, "x", ""},
        context);
    EXPECT_EQ(listed.status, 200);
    EXPECT_NE(listed.body.find(R"("device_name":"Şirket <dizüstü>")"), std::string::npos)
        << listed.body;
}

} // namespace
} // namespace service
