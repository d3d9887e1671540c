#pragma once

#include "service/rules/Format.h"

#include <string>
#include <string_view>

namespace service {

// Text made safe inside HTML elements and quoted attributes.
std::string escapeHtml(std::string_view text);

// A query value for a URL: every byte but unreserved ones percent-encoded.
std::string encodeQueryValue(std::string_view text);

// Appends every part in order, without temporary strings.
template <class... Parts> void append(std::string& out, const Parts&... parts) {
    (out.append(parts), ...);
}

// The start of every page up to and including `<main>`: the title (already
// escaped) and the one stylesheet, inline, so a page needs no other file.
std::string pageStart(const std::string& title);

// Closes what pageStart opened.
inline constexpr const char* kPageEnd = "</main></body></html>\n";

} // namespace service
