#include "submission/APIResponse.h"

#include <nlohmann/json.hpp>

namespace submission {
namespace {

using nlohmann::json;

// A member that is missing or null stays absent; false when it has another
// type, which spoils the whole reply.
template <class T, class HasType>
bool readMember(const json& object, const char* key, HasType hasType, std::optional<T>& out) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return true;
    }
    if (!hasType(*it)) {
        return false;
    }
    out = it->get<T>();
    return true;
}

} // namespace

std::optional<APIResponse> decodeAPIResponse(std::string_view body) {
    // Parsing is iterative in the library, so deep nesting cannot exhaust the stack.
    const json object = json::parse(body.begin(), body.end(), nullptr, false);
    if (!object.is_object() || body.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    const auto isBoolean = [](const json& value) { return value.is_boolean(); };
    const auto isText = [](const json& value) { return value.is_string(); };
    const auto isWhole = [](const json& value) { return value.is_number_integer(); };
    APIResponse response;
    if (!readMember(object, "success", isBoolean, response.success) ||
        !readMember(object, "message", isText, response.message) ||
        !readMember(object, "error", isText, response.error) ||
        !readMember(object, "id", isWhole, response.id) ||
        !readMember(object, "url", isText, response.url)) {
        return std::nullopt;
    }
    return response;
}

std::string encodeAPIResponse(const APIResponse& response) {
    nlohmann::ordered_json body = nlohmann::ordered_json::object();
    if (response.success) {
        body["success"] = *response.success;
    }
    if (response.message) {
        body["message"] = *response.message;
    }
    if (response.error) {
        body["error"] = *response.error;
    }
    if (response.id) {
        body["id"] = *response.id;
    }
    if (response.url) {
        body["url"] = *response.url;
    }
    // Ill-formed UTF-8 becomes U+FFFD rather than an exception.
    return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace submission
