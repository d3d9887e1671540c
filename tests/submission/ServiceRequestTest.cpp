#include "submission/Submission.h"
#include "support/ExpectedTexts.h"
#include "support/Peer.h"

#include <gtest/gtest.h>

namespace {

using submission::Outcome;
using testsupport::Peer;

submission::SubmissionResult submitTo(const Peer& peer) {
    const submission::Endpoint endpoint{peer.url(), Peer::caFile(), std::chrono::seconds(60)};
    return submission::submitPayload(endpoint, {"Mac99,1", "M9", 16, 36.75, 15.75, 84, 0});
}

// Services compress their replies; the cap counts decoded bytes, so a small
// bomb that inflates to 64 MiB ends at 1 MiB like any oversized reply.
TEST(ServiceRequest, CompressedRepliesAreDecodedAndCappedAfterDecoding) {
    const struct {
        const char* peerCase;
        std::string status;
    } cases[] = {
        {"gzip", testsupport::texts::kAccepted + "Sıkıştırılmış"},
        {"gzip-bomb", testsupport::texts::kAcceptedFallback},
    };
    for (const auto& row : cases) {
        const Peer peer(row.peerCase);
        const auto result = submitTo(peer);
        EXPECT_EQ(result.outcome, Outcome::Accepted) << row.peerCase;
        EXPECT_EQ(result.statusText, row.status) << row.peerCase;
    }
}

TEST(ServiceRequest, NamesTheClientAndSendsOneContentType) {
    const Peer peer("reply");
    submitTo(peer);
    const auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 1U);
    const auto agent = requests[0].headers("User-Agent");
    ASSERT_EQ(agent.size(), 1U);
    EXPECT_TRUE(agent[0].starts_with("benchmark-companion/") &&
                agent[0].size() > std::string("benchmark-companion/").size())
        << agent[0];
    EXPECT_EQ(requests[0].headers("Content-Type"), std::vector<std::string>{"application/json"});
    ASSERT_EQ(requests[0].headers("Accept-Encoding").size(), 1U);
    EXPECT_NE(requests[0].headers("Accept-Encoding")[0].find("gzip"), std::string::npos);
}

} // namespace
