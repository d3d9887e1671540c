#pragma once

#include "submission/APIResponse.h"
#include "submission/Endpoint.h"
#include "submission/Payload.h"

#include <optional>
#include <string>

namespace submission {

enum class Outcome { Accepted, Refused, ConnectionFailure };

// Exactly 200 is accepted; any other completed response is refused.
Outcome outcomeForStatus(long httpStatus);

// The user-facing status line for an outcome and the decoded reply, if any.
std::string outcomeText(Outcome outcome, const std::optional<APIResponse>& reply);

struct SubmissionResult {
    Outcome outcome;
    std::string statusText;
    std::optional<std::int64_t> id; // the stored record's, when the service named it
    std::optional<std::string> url; // its page, when the service named it
};

// Encodes the record, POSTs it to <baseUrl>/api/submit, and sorts the result
// into one outcome. Never throws; blocks until the exchange ends.
SubmissionResult submitPayload(const Endpoint& endpoint, const Payload& payload);

} // namespace submission
