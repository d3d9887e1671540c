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

} // namespace
