#pragma once

#include "service/rules/Format.h"

#include <string>
#include <string_view>

namespace service {

// Text made safe inside HTML elements and quoted attributes.
std::string escapeHtml(std::string_view text);

// A query value for a URL: every byte but unreserved ones percent-encoded.
std::string encodeQueryValue(std::string_view text);

// A processor's page, "/?chip=NAME" with the name encoded (not yet escaped for HTML).
std::string chipPath(const std::string& chip);

// A whole page: the title (already escaped), the one stylesheet, inline, so a
// page needs no other file, and `body` inside its `<main>`.
std::string htmlDocument(const std::string& title, const std::string& body);

// At most `limit` characters of a name, and an ellipsis when it had more.
std::string shortened(const std::string& name, std::size_t limit);

// A page of a heading and a line of text (both already escaped), with the way
// back to the board: what is shown instead of a page that cannot be.
std::string noticePage(const std::string& heading, const std::string& text);

// A stored receive time as people read it, kept whole for machines and on hover.
std::string timeHtml(const std::string& iso);

// A processor's name linking to its page.
std::string chipLink(const std::string& chip);

} // namespace service
