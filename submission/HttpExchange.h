#pragma once

#include "submission/Endpoint.h"

#include <cstddef>
#include <optional>
#include <string>

namespace submission {

// Replies whose decoded body is larger than this are not read to the end.
inline constexpr std::size_t kMaxReplyBodyBytes = std::size_t{1} << 20;

// A completed HTTP exchange.
struct HttpReply {
    long status = 0;
    std::string body;          // empty when bodyUnusable
    bool bodyUnusable = false; // past kMaxReplyBodyBytes, or in a coding that did not decode
};

// POSTs `body` as "application/json" to `url`, once, with TLS verification
// always on and the endpoint's trust and idle timeout. `url` must be a plain
// https URL: no credentials, query or fragment. nullopt when the URL is
// refused or the exchange fails for any reason; why is not kept.
std::optional<HttpReply> postJson(const Endpoint& endpoint, const std::string& url,
                                  const std::string& body);

} // namespace submission
