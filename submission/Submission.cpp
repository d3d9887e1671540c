#include "submission/Submission.h"

#include "submission/HttpExchange.h"

namespace submission {
namespace {

constexpr const char* kAcceptedPrefix = "\u2705 ";
constexpr const char* kAcceptedFallback = "Skor başarıyla gönderildi!";
constexpr const char* kRefusedPrefix = "\u274C Hata: ";
constexpr const char* kRefusedFallback = "Bilinmeyen Sunucu Hatası";
constexpr const char* kConnectionFailureText =
    "\u26A0\uFE0F Bağlantı hatası: Skor gönderilemedi. İnternet bağlantınızı kontrol edin.";

std::string submitUrl(std::string baseUrl) {
    while (!baseUrl.empty() && baseUrl.back() == '/') {
        baseUrl.pop_back();
    }
    return baseUrl + "/api/submit";
}

} // namespace

Outcome outcomeForStatus(long httpStatus) {
    return httpStatus == 200 ? Outcome::Accepted : Outcome::Refused;
}

std::string outcomeText(Outcome outcome, const std::optional<APIResponse>& reply) {
    switch (outcome) {
    case Outcome::Accepted:
        return kAcceptedPrefix + (reply && reply->message ? *reply->message : kAcceptedFallback);
    case Outcome::Refused:
        return kRefusedPrefix + (reply && reply->error ? *reply->error : kRefusedFallback);
    case Outcome::ConnectionFailure:
        break;
    }
    return kConnectionFailureText;
}

SubmissionResult submitPayload(const Endpoint& endpoint, const Payload& payload) {
    const auto failed = [] {
        return SubmissionResult{Outcome::ConnectionFailure,
                                outcomeText(Outcome::ConnectionFailure, std::nullopt), std::nullopt,
                                std::nullopt};
    };
    const std::optional<std::string> body = encodePayload(payload);
    if (!body) {
        return failed();
    }
    const std::optional<HttpReply> reply = postJson(endpoint, submitUrl(endpoint.baseUrl), *body);
    if (!reply) {
        return failed();
    }
    // Decoding is tried whatever the status; `success` never decides anything.
    const std::optional<APIResponse> decoded =
        reply->bodyUnusable ? std::nullopt : decodeAPIResponse(reply->body);
    const Outcome outcome = outcomeForStatus(reply->status);
    SubmissionResult result{outcome, outcomeText(outcome, decoded), std::nullopt, std::nullopt};
    if (outcome == Outcome::Accepted && decoded) {
        result.id = decoded->id;
        result.url = decoded->url;
    }
    return result;
}

} // namespace submission
