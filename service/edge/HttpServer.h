#pragma once

#include "service/edge/Http.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace service {

struct ServerConfig {
    std::string host;
    int port = 0;
    std::string certPem; // both empty: plain HTTP
    std::string keyPem;
    unsigned threads = 4; // the handler's pool, which may wait on the database (not the I/O threads)
    unsigned maxConnections = 4096;
    unsigned maxConnectionsPerAddress = 0; // 0: no limit
    unsigned connectionTimeoutSec = 10;    // to read a request, to write its answer, and while idle
    bool trustForwardedFor = false;
    std::size_t queueLimit = 256; // requests waiting for a handler thread; past it, 503
    std::chrono::milliseconds queueDeadline{5000}; // a request waiting longer gets 503
};

// The adapter between the network and the handler: it accepts connections
// (TLS or plain), reads strict HTTP/1.1 into Request values, runs the handler
// on its own bounded pool, writes Responses back with the service's headers
// and reports each finished request to the log. Every refusal is the
// service's own JSON. A request the fast path answers is answered on the
// connection's own thread and never waits for the pool.
class HttpServer {
public:
    using Handler = std::function<Response(const Request&)>;
    using Logger = std::function<void(const LogEntry&)>;
    using Notices = std::function<void(const std::string&)>; // trouble outside any request
    // The answer when it can be given without blocking; nothing sends the request to the pool.
    using FastPath = std::function<std::optional<Response>(const Request&)>;

    // Listens at once; a text saying why when it cannot.
    static std::variant<std::unique_ptr<HttpServer>, std::string>
    start(const ServerConfig& config, Handler handler, Logger logger, Notices notices = {},
          FastPath fastPath = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    int port() const;

    // Closes the listening socket and idle connections; a request already
    // begun is finished and answered with `Connection: close`.
    void stopAccepting();
    // Waits until every connection has closed, at most `limit`; false on timeout.
    bool waitUntilIdle(std::chrono::milliseconds limit) const;
    int openConnections() const;

    struct Impl;

private:
    explicit HttpServer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// Whether the host names a loopback address (127.0.0.0/8, ::1, localhost).
bool isLoopbackHost(const std::string& host);

} // namespace service
