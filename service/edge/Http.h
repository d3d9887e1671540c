#pragma once

#include "submission/APIResponse.h"

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace service {

// One HTTP request as the handler sees it, whatever server library read it.
struct Request {
    std::string method;
    std::string path;
    std::map<std::string, std::string> query; // decoded; a repeated name is refused at the edge
    std::string contentType;
    std::string body;
    std::string clientAddress;
    std::string userAgent;
    std::string accept;         // the Accept field's lines, joined
    std::string acceptEncoding; // the Accept-Encoding field's lines, joined
    std::string ifNoneMatch;    // the If-None-Match field's lines, joined
};

struct Response {
    int status = 200;
    std::string contentType;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    long long recordId = 0; // the stored record's id, for the log only; 0 when none
    // A kept page's body, shared instead of copied into each answer: when
    // set, it is the body sent and `body` stays empty.
    std::shared_ptr<const std::string> keptBody{};
};

// The body a response sends.
std::string_view bodyOf(const Response& response);

// What one request leaves in the log: never the record's contents, only its id.
struct LogEntry {
    std::chrono::system_clock::time_point time;
    std::string address;
    std::string method;
    std::string path;
    int status = 0; // 0 when the client went away before an answer
    std::chrono::microseconds duration{0};
    long long recordId = 0;
    bool unsent = false; // the answer could not be written: the client left, or it took too long
};

// The service's JSON answer, and its refusal with `error` for the client to show.
Response jsonReply(int status, const submission::APIResponse& reply);
Response jsonFailure(int status, std::string error);

// Submissions larger than this are refused unread.
inline constexpr std::size_t kMaxBodyBytes = std::size_t{16} * 1024;

} // namespace service
