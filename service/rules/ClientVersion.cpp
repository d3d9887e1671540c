#include "service/rules/ClientVersion.h"

#include <algorithm>
#include <cctype>

namespace service {
namespace {

constexpr std::size_t kMaxProductBytes = 64;
constexpr std::size_t kMaxVersionBytes = 32;

// RFC 9110 token characters.
bool isTokenChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view text, std::size_t maxBytes) {
    return !text.empty() && text.size() <= maxBytes &&
           std::all_of(text.begin(), text.end(), isTokenChar);
}

} // namespace

ClientVersion clientVersion(std::string_view userAgent) {
    const auto end = userAgent.find_first_of(" \t");
    const auto first = userAgent.substr(0, end);
    const auto slash = first.find('/');
    if (slash == std::string_view::npos) {
        return {};
    }
    const auto product = first.substr(0, slash);
    const auto version = first.substr(slash + 1);
    if (!isToken(product, kMaxProductBytes) || !isToken(version, kMaxVersionBytes)) {
        return {};
    }
    return {std::string(product), std::string(version)};
}

} // namespace service
