#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace service {

// `text` as one gzip member, the same bytes for the same text (no name, no
// time in its header); nothing when zlib cannot have the memory it needs.
std::optional<std::string> gzip(std::string_view text);

} // namespace service
