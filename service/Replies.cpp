#include "service/Replies.h"

#include "service/pages/Texts.h"

#include <algorithm>

namespace service {

Response unavailable() {
    return jsonFailure(503, kUnavailableText);
}

std::optional<std::string> queryValue(const Request& request, const std::string& name) {
    const auto it = request.query.find(name);
    if (it == request.query.end() || it->second.empty()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<std::int64_t> parseCount(const std::optional<std::string>& text, std::int64_t absent,
                                       std::int64_t low, std::int64_t high) {
    if (!text) {
        return absent;
    }
    if (text->size() > 9 ||
        !std::all_of(text->begin(), text->end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const std::int64_t value = std::stoll(*text);
    return value >= low && value <= high ? std::optional(value) : std::nullopt;
}

} // namespace service
