#include "submission/Submission.h"
#include "support/ExpectedTexts.h"
#include "support/Peer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

using testsupport::Peer;

submission::SubmissionResult submitTo(const Peer& peer) {
    const submission::Endpoint endpoint{peer.url(), Peer::caFile(), std::chrono::seconds(60)};
    return submission::submitPayload(endpoint, {"Mac99,1", "M9", 16, 36.75, 15.75, 84, 0});
}

// The cap counts decoded bytes, so a bomb that inflates to 64 MiB ends at
// 1 MiB like any oversized reply: accepted, with the fallback text.
TEST(ServiceRequest, CompressedRepliesAreDecodedAndCappedAfterDecoding) {
    EXPECT_EQ(submitTo(Peer("gzip")).statusText, testsupport::texts::kAccepted + "Sıkıştırılmış");
    EXPECT_EQ(submitTo(Peer("gzip-bomb")).statusText, testsupport::texts::kAcceptedFallback);
}

TEST(ServiceRequest, NamesTheClientAndSendsOneContentType) {
    const Peer peer("reply");
    submitTo(peer);
    const auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 1U);
    const auto agent = requests[0].headers("User-Agent");
    ASSERT_EQ(agent.size(), 1U);
    EXPECT_TRUE(agent[0].starts_with("benchmark-companion/") && agent[0].back() != '/') << agent[0];
    EXPECT_EQ(requests[0].headers("Content-Type"), std::vector<std::string>{"application/json"});
}

// libcurl reads SSLKEYLOGFILE once, when it first initialises, so this holds
// only in a process of its own, as CTest runs each test. Set after the peer
// starts, so that only the client could write the file.
TEST(ServiceRequest, WritesNoTlsSecretsToSslKeyLogFile) {
    const Peer peer("reply");
    const auto keyLog =
        std::filesystem::temp_directory_path() / ("keylog-" + std::to_string(getpid()) + ".txt");
    ASSERT_EQ(setenv("SSLKEYLOGFILE", keyLog.c_str(), 1), 0);
    EXPECT_EQ(submitTo(peer).outcome, submission::Outcome::Accepted);
    unsetenv("SSLKEYLOGFILE");
    std::error_code error;
    EXPECT_EQ(std::filesystem::file_size(keyLog, error) * !error, 0U);
    std::filesystem::remove(keyLog, error);
}

} // namespace
