#include "service/edge/Http.h"

namespace service {

Response jsonReply(int status, const submission::APIResponse& reply) {
    return Response{
        status, "application/json; charset=utf-8", submission::encodeAPIResponse(reply), {}, 0};
}

Response jsonFailure(int status, std::string error) {
    return jsonReply(status, submission::APIResponse{.success = false, .error = std::move(error)});
}

std::string_view bodyOf(const Response& response) {
    return response.keptBody ? std::string_view(*response.keptBody) : response.body;
}

} // namespace service
