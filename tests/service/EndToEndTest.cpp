// The client's own submission path against the service's server and store, over TLS with the
// test CA: the client's record and the service's reply fit each other.
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

using namespace std::chrono_literals;

const std::string kPki = TEST_PKI_DIR;

std::string pem(const std::string& name) {
    return (std::ostringstream() << std::ifstream(kPki + "/" + name).rdbuf()).str();
}

TEST(EndToEnd, TheClientsRecordIsAcceptedAndRanked) {
    TempPath database("scores.sqlite3");
    const auto store = openStore(database.path(), [](const std::string& e) { ADD_FAILURE() << e; });
    RateLimiter limiter(RateLimit{});
    ServiceContext context{*store, limiter, [] { return std::chrono::system_clock::now(); },
                           [] { return std::chrono::steady_clock::now(); }};
    ServerConfig config{"127.0.0.1", 0, pem("localhost.pem"), pem("localhost.key")};
    auto started = HttpServer::start(
        config, [&](const Request& request) { return handle(request, context); },
        [](const LogEntry&) {});
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<HttpServer>>(started));
    const std::string url = "https://127.0.0.1:" + std::to_string(std::get<0>(started)->port());

    const auto record = clientRecord("Ryzen 9 7950X", 10.5, "Şirket <dizüstü>");
    const auto result =
        submission::submitPayload(submission::Endpoint{url, kPki + "/ca.pem", 10s}, record);
    EXPECT_EQ(result.outcome, submission::Outcome::Accepted);
    EXPECT_EQ(result.statusText, "✅ Skor kaydedildi: bu işlemcideki 1 sonuç arasında 1. sırada.");
}

} // namespace
} // namespace service
