#pragma once

#include "service/edge/Http.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace service {

// A request head as read off the wire, before the service trusts any of it.
struct RequestHead {
    std::string method;
    std::string target;
    std::vector<std::pair<std::string, std::string>> fields; // in order, repeats kept
    std::string peerAddress;
};

// Why a request is refused before the handler sees it; the connection then closes.
struct Refusal {
    int status = 400;
    std::string message;
};

// Anything past this many query parameters is refused, never truncated.
inline constexpr std::size_t kMaxQueryParameters = 64;

// The head as a Request (without its body), or why it is refused: one Host,
// a Transfer-Encoding of "chunked" alone and never with a Content-Length, a
// path and query free of NUL and bad escapes, at most kMaxQueryParameters,
// none named twice.
// With `trustForwardedFor`, the client is the last X-Forwarded-For hop.
std::variant<Request, Refusal> admitHead(const RequestHead& head, bool trustForwardedFor);

// The declared Content-Length (leading zeros allowed): 0 when absent, -1 when
// not a decimal number below 10^18.
long long declaredLength(const RequestHead& head);

// "a%2Fb" -> "a/b", '+' -> ' ' when `plusIsSpace`; nothing on a bad escape or a NUL.
std::optional<std::string> percentDecode(std::string_view text, bool plusIsSpace);

// The address in canonical text (IPv4-mapped IPv6 as IPv4); nothing when it is none.
std::optional<std::string> canonicalAddress(std::string_view text);

// Equal but for the case of ASCII letters, as field names and codings compare.
bool sameName(std::string_view a, std::string_view b);

// Without the spaces and tabs around it.
std::string_view trim(std::string_view text);

// Headers every answer carries: content sniffing, framing, referrer, a
// content policy, HSTS when served over TLS, and caching unless the answer
// names its own.
std::vector<std::pair<std::string, std::string>> edgeHeaders(const Request& request,
                                                             const Response& response, bool tls);

} // namespace service
