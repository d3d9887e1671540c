#pragma once

#include "service/edge/Http.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace service {

// How long a shared cache may serve a read's answer without asking again.
enum class Freshness {
    board,  // the board's pages and API: a few seconds
    result, // a result's page: never unasked, as its rank moves with every new result
};

// Seconds a cache may serve the board; a new result shows at most this late there.
inline constexpr int kBoardMaxAgeSec = 5;

// Text shorter than this is sent as it is: gzip would save less than a packet.
inline constexpr std::size_t kMinGzipBytes = 1024;

// The Cache-Control of a read's answer with `status`: only a 200 may be
// kept, so an outage or a refusal is never served from a cache.
std::string cacheControl(Freshness freshness, int status);

// Whether an Accept-Encoding list takes gzip: its own weight, or `*`'s when
// it names no gzip, above 0. A weight that is no number takes nothing.
bool acceptsGzip(std::string_view acceptEncoding);

// Whether an If-None-Match list names `tag` ("*" names any), comparing the
// tags without their weak mark; nothing after a malformed entry counts.
bool namesTag(std::string_view ifNoneMatch, std::string_view tag);

// A strong tag of exactly `body` as sent with `coding` ("" for none).
std::string entityTag(std::string_view body, std::string_view coding);

// A read's answer made ready once for every client: the body as it is and,
// where the text is long enough, gzipped, each under its own tag (a 200's
// only), with Vary on Accept-Encoding and a Cache-Control of `freshness`.
struct Cacheable {
    using Body = std::shared_ptr<const std::string>;
    Response head; // status, type and headers; no body
    Body plain;
    std::string plainTag;
    Body packed; // gzipped; none when not worth it or not asked for
    std::string packedTag;
};

// `pack`: make the gzipped form too, when the text is long enough.
Cacheable prepare(Response response, Freshness freshness, bool pack);

// The answer for `request` from `ready`: the form its client takes, shared
// as its `keptBody`, and a bodiless 304 when the client holds that form's
// tag already.
Response answerFrom(const Request& request, const Cacheable& ready);

// A read's answer as caches may keep it: prepared for this client alone and
// answered, its body its own; any status but 200 is not stored.
Response forCaches(const Request& request, Response response, Freshness freshness);

} // namespace service
