#pragma once

namespace service {

// What became of one submission: stored (the first two) or refused, with
// the reason. Kept in this order: the metrics walk it.
enum class SubmissionOutcome {
    accepted,
    held,
    rateLimited,
    notJson,
    malformed,
    implausible,
    unavailable,
};

} // namespace service
