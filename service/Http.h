#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace service {

// One HTTP request as the handler sees it, whatever server library read it.
struct Request {
    std::string method;
    std::string path;
    std::map<std::string, std::string> query; // decoded; the last value of a repeated name wins
    std::string contentType;
    std::string body;
    bool bodyTooLarge = false; // the body went past the limit and was not kept
    std::string clientAddress;
    std::string userAgent;
};

struct Response {
    int status = 200;
    std::string contentType;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    long long recordId = 0; // the stored record's id, for the log only; 0 when none
};

// Submissions larger than this are refused unread.
inline constexpr std::size_t kMaxBodyBytes = std::size_t{16} * 1024;

} // namespace service
