#pragma once

#include "service/Http.h"
#include "service/Log.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

struct MHD_Daemon;

namespace service {

struct ServerConfig {
    std::string host;
    int port = 0;
    std::string certPem; // both empty: plain HTTP
    std::string keyPem;
    unsigned threads = 4;
    unsigned maxConnections = 4096;
    unsigned maxConnectionsPerAddress = 0;
    unsigned connectionTimeoutSec = 10;
    bool trustForwardedFor = false;
};

// The thin adapter between libmicrohttpd and the handler: it reads requests
// into Request values (bodies up to kMaxBodyBytes), writes Responses back and
// reports each finished request to the log.
class HttpServer {
public:
    using Handler = std::function<Response(const Request&)>;
    using Logger = std::function<void(const LogEntry&)>;

    // Listens at once; a text saying why when it cannot.
    static std::variant<std::unique_ptr<HttpServer>, std::string>
    start(const ServerConfig& config, Handler handler, Logger logger);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    int port() const { return port_; }

    // Closes the listening socket; connections already open are served on.
    void stopAccepting();
    // Waits until no request is in flight, at most `limit`; false on timeout.
    bool waitUntilIdle(std::chrono::milliseconds limit) const;

    // For the libmicrohttpd callbacks.
    struct Exchange;
    const ServerConfig& config() const { return config_; }
    Response respond(const Request& request) const { return handler_(request); }
    void finished(Exchange* exchange);
    void begun() { ++inFlight_; }
    bool listening() const { return listening_; }
    void connection(bool opened) { open_ += opened ? 1 : -1; }
    int openConnections() const { return open_.load(); }

private:
    HttpServer(ServerConfig config, Handler handler, Logger logger);

    ServerConfig config_;
    Handler handler_;
    Logger logger_;
    MHD_Daemon* daemon_ = nullptr;
    int port_ = 0;
    std::atomic<int> inFlight_{0};
    std::atomic<int> open_{0};
    std::atomic<bool> listening_{false};
};

// Whether the host names a loopback address (127.0.0.0/8, ::1, localhost).
bool isLoopbackHost(const std::string& host);

// Why the PEM certificate and key cannot serve TLS; nothing when they can.
std::optional<std::string> tlsProblem(const std::string& certPem, const std::string& keyPem);

} // namespace service
