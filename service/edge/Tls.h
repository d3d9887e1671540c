#pragma once

#include <boost/asio/ssl/context.hpp>
#include <optional>
#include <string>

namespace service {

// The server's TLS settings with the PEM certificate and key, or nothing and
// `problem` saying why they cannot serve.
std::optional<boost::asio::ssl::context>
tlsContext(const std::string& certPem, const std::string& keyPem, std::string& problem);

// Why the PEM certificate and key cannot serve TLS; nothing when they can.
std::optional<std::string> tlsProblem(const std::string& certPem, const std::string& keyPem);

} // namespace service
