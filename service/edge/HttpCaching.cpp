#include "service/edge/HttpCaching.h"

#include "service/edge/Gzip.h"
#include "service/edge/HttpRules.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace service {
namespace {

constexpr std::size_t kTagBytes = 16; // of the digest: 128 bits, no collision by chance

// A weight ("0.5", "1.000") in thousandths; nothing when it is no weight.
std::optional<int> thousandths(std::string_view text) {
    if (text.empty() || (text[0] != '0' && text[0] != '1') || text.size() > 5 ||
        (text.size() > 1 && text[1] != '.')) {
        return std::nullopt;
    }
    int value = (text[0] - '0') * 1000;
    int scale = 100;
    for (const char digit : text.substr(std::min<std::size_t>(2, text.size()))) {
        if (digit < '0' || digit > '9') {
            return std::nullopt;
        }
        value += (digit - '0') * scale;
        scale /= 10;
    }
    return value <= 1000 ? std::optional(value) : std::nullopt;
}

// The weight an entry's parameters give it: 1000 without a q, 0 when its q is unreadable.
int weightOf(std::string_view parameters) {
    while (!parameters.empty()) {
        const auto end = parameters.find(';');
        const auto parameter = trim(parameters.substr(0, end));
        parameters.remove_prefix(end == std::string_view::npos ? parameters.size() : end + 1);
        if (parameter.size() >= 2 && sameName(parameter.substr(0, 2), "q=")) {
            return thousandths(trim(parameter.substr(2))).value_or(0);
        }
    }
    return 1000;
}

bool compressible(const Response& response) {
    const auto& type = response.contentType;
    return response.body.size() >= kMinGzipBytes &&
           (type.starts_with("text/") || type.starts_with("application/json"));
}

} // namespace

std::string cacheControl(Freshness freshness, int status) {
    if (status != 200) {
        return "no-store";
    }
    return freshness == Freshness::board ? "public, max-age=" + std::to_string(kBoardMaxAgeSec)
                                         : "no-cache";
}

bool acceptsGzip(std::string_view acceptEncoding) {
    std::optional<int> gzipWeight;
    std::optional<int> anyWeight;
    while (!acceptEncoding.empty()) {
        const auto end = acceptEncoding.find(',');
        const auto entry = acceptEncoding.substr(0, end);
        acceptEncoding.remove_prefix(end == std::string_view::npos ? acceptEncoding.size()
                                                                   : end + 1);
        const auto semicolon = entry.find(';');
        const auto coding = trim(entry.substr(0, semicolon));
        const int weight =
            weightOf(semicolon == std::string_view::npos ? "" : entry.substr(semicolon + 1));
        // Named twice, a refusal wins: the plain answer is never wrong.
        if (sameName(coding, "gzip") || sameName(coding, "x-gzip")) {
            gzipWeight = std::min(weight, gzipWeight.value_or(weight));
        } else if (coding == "*") {
            anyWeight = std::min(weight, anyWeight.value_or(weight));
        }
    }
    return gzipWeight.value_or(anyWeight.value_or(0)) > 0;
}

bool namesTag(std::string_view ifNoneMatch, std::string_view tag) {
    for (auto rest = ifNoneMatch;;) {
        while (!rest.empty() &&
               (rest.front() == ',' || rest.front() == ' ' || rest.front() == '\t')) {
            rest.remove_prefix(1);
        }
        if (rest.empty() || rest.front() == '*') {
            return !rest.empty();
        }
        if (rest.starts_with("W/")) {
            rest.remove_prefix(2);
        }
        const auto close = rest.starts_with('"') ? rest.find('"', 1) : std::string_view::npos;
        if (close == std::string_view::npos) {
            return false;
        }
        if (rest.substr(0, close + 1) == tag) {
            return true;
        }
        rest.remove_prefix(close + 1);
    }
}

std::string entityTag(std::string_view body, std::string_view coding) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    // The digest fails only without memory; the answer then goes untagged.
    if (EVP_Digest(body.data(), body.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
        length < kTagBytes) {
        return "";
    }
    constexpr std::string_view kHex = "0123456789abcdef";
    std::string tag = "\"";
    for (std::size_t i = 0; i < kTagBytes; ++i) {
        tag += kHex[digest[i] >> 4];
        tag += kHex[digest[i] & 0xf];
    }
    return tag + (coding.empty() ? "" : "-") + std::string(coding) + "\"";
}

Cacheable prepare(Response response, Freshness freshness, bool pack) {
    response.headers.emplace_back("Vary", "Accept-Encoding");
    response.headers.emplace_back("Cache-Control", cacheControl(freshness, response.status));
    Cacheable ready;
    if (auto packed = pack && compressible(response) ? gzip(response.body) : std::nullopt) {
        ready.packed = std::make_shared<const std::string>(std::move(*packed));
    }
    ready.plain = std::make_shared<const std::string>(std::exchange(response.body, {}));
    if (response.status == 200) {
        ready.plainTag = entityTag(*ready.plain, "");
        ready.packedTag = ready.packed ? entityTag(*ready.packed, "gzip") : "";
    }
    ready.head = std::move(response);
    return ready;
}

Response answerFrom(const Request& request, const Cacheable& ready) {
    const bool packed = ready.packed && acceptsGzip(request.acceptEncoding);
    const std::string& tag = packed ? ready.packedTag : ready.plainTag;
    Response response = ready.head;
    if (!tag.empty()) {
        response.headers.emplace_back("ETag", tag);
        if (namesTag(request.ifNoneMatch, tag)) {
            // No body, so nothing to decode: the client keeps the one it holds.
            // The type stays, for the edge to give the 304 that type's policy,
            // which a cache copies onto the page it holds.
            response.status = 304;
            return response;
        }
    }
    response.keptBody = packed ? ready.packed : ready.plain;
    if (packed) {
        response.headers.emplace_back("Content-Encoding", "gzip");
    }
    return response;
}

Response forCaches(const Request& request, Response response, Freshness freshness) {
    Response answer = answerFrom(
        request, prepare(std::move(response), freshness, acceptsGzip(request.acceptEncoding)));
    if (answer.keptBody) {
        answer.body = *std::exchange(answer.keptBody, nullptr);
    }
    return answer;
}

} // namespace service
