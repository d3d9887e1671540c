#include "submission/HttpExchange.h"

#include "submission/BuildConfig.h"

#include <curl/curl.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <new>
#include <string_view>

namespace submission {
namespace {

using EasyPtr = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using UrlPtr = std::unique_ptr<CURLU, decltype(&curl_url_cleanup)>;
using HeaderList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

bool curlReady() {
    // Once per process, and thread-safe: the first call may come from any worker.
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

bool hasPart(CURLU* url, CURLUPart part) {
    char* value = nullptr;
    const CURLUcode rc = curl_url_get(url, part, &value, 0);
    curl_free(value);
    return rc == CURLUE_OK;
}

UrlPtr parsePlainHttpsUrl(const std::string& text) {
    UrlPtr url(curl_url(), &curl_url_cleanup);
    if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) {
        return UrlPtr(nullptr, &curl_url_cleanup);
    }
    char* scheme = nullptr;
    const bool https = curl_url_get(url.get(), CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
                       std::string_view(scheme) == "https";
    curl_free(scheme);
    // A query or fragment in the base would swallow the path appended to it.
    if (!https || !hasPart(url.get(), CURLUPART_HOST) || hasPart(url.get(), CURLUPART_USER) ||
        hasPart(url.get(), CURLUPART_PASSWORD) || hasPart(url.get(), CURLUPART_QUERY) ||
        hasPart(url.get(), CURLUPART_FRAGMENT)) {
        return UrlPtr(nullptr, &curl_url_cleanup);
    }
    return url;
}

struct ReplySink {
    std::string body;
    bool tooLarge = false;
    bool headersEnded = false; // the blank line after the last status line has arrived
};

std::size_t collectBody(char* data, std::size_t size, std::size_t count, void* user) noexcept {
    auto* sink = static_cast<ReplySink*>(user);
    const std::size_t length = size * count;
    if (length > kMaxReplyBodyBytes - sink->body.size()) {
        sink->tooLarge = true;
        return 0; // aborts the transfer
    }
    try {
        sink->body.append(data, length);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return length;
}

// Notes where each header block ends. A connection that closes after a status
// line but before the blank line still leaves libcurl with that status and
// CURLE_OK, with or without a TLS close_notify; such a reply never completed.
std::size_t watchHeaders(char* data, std::size_t size, std::size_t count, void* user) noexcept {
    auto* sink = static_cast<ReplySink*>(user);
    const std::size_t length = size * count;
    const std::string_view line(data, length);
    if (line == "\r\n" || line == "\n") {
        sink->headersEnded = true;
    } else if (line.starts_with("HTTP/")) {
        sink->headersEnded = false; // a new block: after a 1xx, the final reply's
    }
    return length;
}

// Fails an exchange in which no byte has moved for the idle limit. The
// low-speed limit alone averages over several seconds, so it trips late.
struct IdleWatch {
    std::chrono::steady_clock::duration limit;
    std::chrono::steady_clock::time_point lastMove = std::chrono::steady_clock::now();
    curl_off_t received = 0;
    curl_off_t sent = 0;
};

int watchIdle(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) noexcept {
    auto* watch = static_cast<IdleWatch*>(user);
    const auto now = std::chrono::steady_clock::now();
    if (received != watch->received || sent != watch->sent) {
        watch->received = received;
        watch->sent = sent;
        watch->lastMove = now;
        return 0;
    }
    return now - watch->lastMove >= watch->limit ? 1 : 0; // non-zero aborts
}

// libcurl opens the file named by SSLKEYLOGFILE and hands every TLS
// context a callback that writes the session's secrets there. The program
// reads no environment, and its secrets go nowhere: the callback is removed.
CURLcode forgetKeyLog(CURL* /*curl*/, void* sslContext, void* /*user*/) noexcept {
    SSL_CTX_set_keylog_callback(static_cast<SSL_CTX*>(sslContext), nullptr);
    return CURLE_OK;
}

bool configureTls(CURL* curl, const Endpoint& endpoint) {
    bool ok = curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_2) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, &forgetKeyLog) == CURLE_OK;
    if (!endpoint.caFile.empty()) {
        // Instead of the system store, not in addition to it.
        ok = ok && curl_easy_setopt(curl, CURLOPT_CAINFO, endpoint.caFile.c_str()) == CURLE_OK;
        ok = ok && curl_easy_setopt(curl, CURLOPT_CAPATH, static_cast<char*>(nullptr)) == CURLE_OK;
    }
    return ok;
}

bool configure(CURL* curl, CURLU* url, const Endpoint& endpoint, const std::string& body,
               curl_slist* headers, ReplySink* sink, IdleWatch* watch) {
    const long idleSeconds = std::max<long>(1, static_cast<long>(endpoint.idleTimeout.count()));
    watch->limit = std::chrono::seconds(idleSeconds);
    bool ok = curl_easy_setopt(curl, CURLOPT_CURLU, url) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https") == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    // The program reads no environment, so no proxy from it either.
    ok = ok && curl_easy_setopt(curl, CURLOPT_PROXY, "") == CURLE_OK;
    ok = ok && configureTls(curl, endpoint);
    // Idle, not total: a slow reply that keeps moving may take longer.
    ok = ok && curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, idleSeconds) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, idleSeconds) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &watchIdle) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_XFERINFODATA, watch) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_POST, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                                static_cast<curl_off_t>(body.size())) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data()) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_USERAGENT, build::kUserAgent) == CURLE_OK;
    // "": every encoding this libcurl can decode. The body sink then sees,
    // and caps, the decoded bytes, which also bounds a compression bomb.
    ok = ok && curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "") == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collectBody) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_WRITEDATA, sink) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &watchHeaders) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_HEADERDATA, sink) == CURLE_OK;
    return ok;
}

} // namespace

std::optional<HttpReply> postJson(const Endpoint& endpoint, const std::string& url,
                                  const std::string& body) {
    if (!curlReady()) {
        return std::nullopt;
    }
    // Declared before the easy handle, which uses them until its cleanup.
    UrlPtr parsed = parsePlainHttpsUrl(url);
    HeaderList headers(curl_slist_append(nullptr, "Content-Type: application/json"),
                       &curl_slist_free_all);
    ReplySink sink;
    IdleWatch watch;
    EasyPtr curl(curl_easy_init(), &curl_easy_cleanup);
    if (!parsed || !curl || !headers ||
        !configure(curl.get(), parsed.get(), endpoint, body, headers.get(), &sink, &watch)) {
        return std::nullopt;
    }
    watch.lastMove = std::chrono::steady_clock::now();
    const CURLcode result = curl_easy_perform(curl.get());
    // An oversized body, or one in a coding that does not decode (an unknown one, a corrupt
    // gzip), still completed the exchange: the status line and headers arrived.
    const bool unusable =
        (result == CURLE_WRITE_ERROR && sink.tooLarge) || result == CURLE_BAD_CONTENT_ENCODING;
    if (result != CURLE_OK && !unusable) {
        return std::nullopt;
    }
    if (!sink.headersEnded) {
        return std::nullopt; // cut off inside the headers
    }
    long status = 0;
    if (curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status == 0) {
        return std::nullopt;
    }
    if (unusable) {
        return HttpReply{status, {}, true};
    }
    return HttpReply{status, std::move(sink.body), false};
}

} // namespace submission
