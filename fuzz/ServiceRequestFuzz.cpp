// A submission body as the score service receives it, which may be anything: the record
// decoding, the plausibility rules and the handler's answer. The same bytes as a reply to the
// client: whatever decodes survives encoding and decoding again unchanged.
#include "service/Handler.h"
#include "service/pages/Html.h"
#include "service/rules/Plausibility.h"
#include "service/store/SqlScoreStore.h"
#include "submission/APIResponse.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace {

using namespace service;

void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

void checkPlausible(const submission::Payload& p) {
    if (!std::isfinite(p.xcode_build_sec) || p.xcode_build_sec < kMinBuildSeconds ||
        p.xcode_build_sec > kMaxSeconds || p.ram_gb < kMinRamGb || p.ram_gb > kMaxRamGb ||
        p.device_name.empty() || p.device_name.size() > kMaxNameBytes) {
        fail("an implausible record passed");
    }
    if (escapeHtml(p.device_name).find('<') != std::string::npos) {
        fail("markup survived escaping");
    }
    const auto body = submission::encodePayload(p);
    if (!body || submission::decodePayload(*body) != p) {
        fail("an accepted record does not survive encoding and decoding");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    if (const auto asReply = submission::decodeAPIResponse(body);
        asReply &&
        submission::decodeAPIResponse(submission::encodeAPIResponse(*asReply)) != asReply) {
        fail("encode then decode changes the reply");
    }
    // A store that cannot be reached: a record that passes every rule is
    // answered 503 and stored nowhere, so each run stays independent.
    SqlScoreStore store(
        sqliteDialect(), []() -> std::unique_ptr<SqlConnection> { throw std::runtime_error(""); },
        [](const std::string&) {});
    RateLimiter limiter(RateLimit{0.0, 1.0});
    ServiceContext context{store, limiter, [] { return std::chrono::system_clock::time_point{}; },
                           [] { return std::chrono::steady_clock::time_point{}; }};
    const Response response =
        handle(Request{"POST", "/api/submit", {}, "application/json", body, "::1", "", "", "", ""},
               context);
    const auto reply = submission::decodeAPIResponse(response.body);
    if (!reply || (response.status != 503 && response.status != 400)) {
        fail("the answer is not a JSON reply with 503 or 400");
    }
    const auto decoded = submission::decodePayloadExplained(body);
    if ((response.status == 503) != (decoded.payload && std::holds_alternative<submission::Payload>(
                                                            plausibleRecord(*decoded.payload)))) {
        fail("the status disagrees with the decoding and the rules");
    }
    if (response.status == 503) {
        checkPlausible(*decoded.payload);
    }
    return 0;
}
