#pragma once

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

// A number of seconds as shown on the page, e.g. "36.75".
std::string formatSeconds(double seconds);

} // namespace service
