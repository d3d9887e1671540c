#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace submission {

// The score service's reply. Each member is absent when missing or null.
struct APIResponse {
    std::optional<bool> success{};
    std::optional<std::string> message{};
    std::optional<std::string> error{};
    std::optional<std::int64_t> id{}; // an accepted record's, and the address of its page
    std::optional<std::string> url{};

    bool operator==(const APIResponse&) const = default;
};

// Strict decoding: the top level must be an object, a member of the wrong JSON
// type fails the whole reply, unknown members are ignored, keys are
// case-sensitive, and invalid JSON or UTF-8 fails. nullopt on any failure.
std::optional<APIResponse> decodeAPIResponse(std::string_view body);

// Writes the present members only.
std::string encodeAPIResponse(const APIResponse& response);

} // namespace submission
