#pragma once

#include "support/TestPki.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class SSLServer;
struct Request;
struct Response;
} // namespace httplib

namespace testsupport {

// How the server answers every request, whatever its method and path.
struct ScriptedReply {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";             // empty: no Content-Type header
    std::vector<std::pair<std::string, std::string>> headers; // further reply headers
    std::chrono::milliseconds delay{0};                       // silence before the answer starts
    // When above zero, the body goes out in `trickleChunks` pieces with this
    // pause before each: a slow reply that keeps moving.
    std::chrono::milliseconds trickleInterval{0};
    std::size_t trickleChunks = 1;
};

struct ReceivedRequest {
    std::string method;
    std::string path;
    std::vector<std::pair<std::string, std::string>> headers; // sorted by name
    std::string body;

    // Every value of a header, matching the name case-insensitively.
    std::vector<std::string> headerValues(const std::string& name) const;
};

// A real HTTPS server on 127.0.0.1 with an ephemeral port, serving on its own
// thread from construction to destruction. Stopping cuts every scripted delay
// short, so tearing down never waits for one.
class TlsTestServer {
public:
    // Its own CA and a certificate for 127.0.0.1 and localhost.
    TlsTestServer();
    // Serves `certificate`; caFile() is then its issuer's file, which must
    // outlive the server for clients that trust it.
    explicit TlsTestServer(const IssuedCertificate& certificate);
    ~TlsTestServer();
    TlsTestServer(const TlsTestServer&) = delete;
    TlsTestServer& operator=(const TlsTestServer&) = delete;

    // Scripts the answer to the requests that arrive from now on.
    void reply(ScriptedReply reply);
    void reply(int status, std::string body, std::chrono::milliseconds delay = {});

    std::string baseUrl() const; // https://127.0.0.1:<port>
    std::string caFile() const;
    int port() const { return port_; }

    // What has arrived so far, in order.
    std::vector<ReceivedRequest> requests() const;
    std::size_t requestCount() const;
    // Waits at most `timeout` for `count` requests; returns whether they came.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

    // Stops serving; idempotent, also done by the destructor.
    void stop();

private:
    void start(const IssuedCertificate& certificate);
    void handle(const httplib::Request& request, httplib::Response& response);
    bool pause(std::chrono::milliseconds duration);

    std::unique_ptr<TestPki> ownPki_;
    std::string caFile_;
    std::unique_ptr<httplib::SSLServer> server_;
    std::thread thread_;
    int port_ = 0;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    ScriptedReply reply_;
    std::vector<ReceivedRequest> requests_;
    bool stopping_ = false;
};

// A loopback port with nothing listening on it, so connecting is refused.
int closedLoopbackPort();

} // namespace testsupport
