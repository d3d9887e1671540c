#pragma once

#include <string>
#include <string_view>

namespace service {

// The first product token and its version of a User-Agent
// ("benchmark-companion/1.2.0 (…)"), each checked and bounded; empty when
// the header has none fit to store.
struct ClientVersion {
    std::string product;
    std::string version;
};
ClientVersion clientVersion(std::string_view userAgent);

} // namespace service
