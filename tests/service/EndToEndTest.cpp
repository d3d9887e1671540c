// The client's own submission path against the real service over TLS.
#include "service/ServiceProcess.h"
#include "service/ServiceTestSupport.h"
#include "submission/Submission.h"

#include <gtest/gtest.h>

#include <httplib.h>
#include <sys/wait.h>

namespace service {
namespace {

using namespace std::chrono_literals;

const std::string kPki = TEST_PKI_DIR;

TEST(EndToEnd, TheClientsRecordIsAcceptedAndThenListed) {
    TempPath database("scores.sqlite3");
    ServiceProcess service({"--listen", "127.0.0.1:0", "--tls-cert", kPki + "/localhost.pem",
                            "--tls-key", kPki + "/localhost.key", "--database",
                            database.path().string()});
    ASSERT_EQ(service.baseUrl().rfind("https://127.0.0.1:", 0), 0U) << service.baseUrl();

    const auto record = clientRecord("Ryzen 9 7950X", 10.5, "Şirket <dizüstü>");
    const auto result = submission::submitPayload(
        submission::Endpoint{service.baseUrl(), kPki + "/ca.pem", 10s}, record);
    EXPECT_EQ(result.outcome, submission::Outcome::Accepted);
    EXPECT_EQ(result.statusText, "✅ Skor kaydedildi: bu işlemcide 1 sonuç arasında 1. sırada.");

    httplib::Client client(service.baseUrl());
    client.set_ca_cert_path((kPki + "/ca.pem").c_str());
    const auto listed = client.Get("/api/scores?chip=Ryzen%209%207950X&limit=5");
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->status, 200);
    EXPECT_NE(listed->body.find(R"("device_name":"Şirket <dizüstü>")"), std::string::npos)
        << listed->body;

    const int status = service.stop(SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

} // namespace
} // namespace service
