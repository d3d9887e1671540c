#include "support/TlsTestServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <stdexcept>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {
namespace {

// httplib files connection facts among the headers; they never crossed the wire.
bool isSyntheticHeader(const std::string& name) {
    return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
           name == "LOCAL_PORT";
}

ReceivedRequest record(const httplib::Request& request) {
    ReceivedRequest received{request.method, request.path, {}, request.body};
    for (const auto& [name, value] : request.headers) {
        if (!isSyntheticHeader(name)) {
            received.headers.emplace_back(name, value);
        }
    }
    return received;
}

} // namespace

std::vector<std::string> ReceivedRequest::headerValues(const std::string& name) const {
    std::vector<std::string> values;
    for (const auto& [key, value] : headers) {
        if (strcasecmp(key.c_str(), name.c_str()) == 0) {
            values.push_back(value);
        }
    }
    return values;
}

TlsTestServer::TlsTestServer() : ownPki_(std::make_unique<TestPki>()) {
    start(ownPki_->issue());
}

TlsTestServer::TlsTestServer(const IssuedCertificate& certificate) {
    start(certificate);
}

TlsTestServer::~TlsTestServer() {
    stop();
}

void TlsTestServer::start(const IssuedCertificate& certificate) {
    caFile_ = certificate.caFile.string();
    server_ = std::make_unique<httplib::SSLServer>(certificate.certFile.c_str(),
                                                   certificate.keyFile.c_str());
    if (!server_->is_valid()) {
        throw std::runtime_error("TlsTestServer: the certificate or key was not accepted");
    }
    // One request per connection and short socket timeouts keep stop() quick.
    server_->set_keep_alive_max_count(1);
    server_->set_read_timeout(2, 0);
    server_->set_write_timeout(2, 0);
    const auto handler = [this](const httplib::Request& request, httplib::Response& response) {
        handle(request, response);
    };
    server_->Get(".*", handler)
        .Post(".*", handler)
        .Put(".*", handler)
        .Patch(".*", handler)
        .Delete(".*", handler)
        .Options(".*", handler);

    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
        throw std::runtime_error("TlsTestServer: cannot bind to 127.0.0.1");
    }
    thread_ = std::thread([server = server_.get()] { server->listen_after_bind(); });
    // stop() is a no-op until the accept loop runs, so wait for it (bounded).
    for (int i = 0; i < 5000 && !server_->is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void TlsTestServer::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (server_) {
        server_->stop();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
}

void TlsTestServer::reply(ScriptedReply reply) {
    std::lock_guard lock(mutex_);
    reply_ = std::move(reply);
}

void TlsTestServer::reply(int status, std::string body, std::chrono::milliseconds delay) {
    ScriptedReply scripted;
    scripted.status = status;
    scripted.body = std::move(body);
    scripted.delay = delay;
    reply(std::move(scripted));
}

std::string TlsTestServer::baseUrl() const {
    return "https://127.0.0.1:" + std::to_string(port_);
}

std::string TlsTestServer::caFile() const {
    return caFile_;
}

std::vector<ReceivedRequest> TlsTestServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t TlsTestServer::requestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

bool TlsTestServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

// Returns false when the server is stopping.
bool TlsTestServer::pause(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, duration, [this] { return stopping_; });
}

void TlsTestServer::handle(const httplib::Request& request, httplib::Response& response) {
    ScriptedReply scripted;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(record(request));
        scripted = reply_;
    }
    changed_.notify_all();
    pause(scripted.delay);

    response.status = scripted.status;
    for (const auto& [name, value] : scripted.headers) {
        response.set_header(name, value);
    }
    if (scripted.trickleInterval <= std::chrono::milliseconds::zero()) {
        if (scripted.contentType.empty()) {
            response.body = scripted.body;
        } else {
            response.set_content(scripted.body, scripted.contentType.c_str());
        }
        return;
    }
    const std::size_t chunks = std::max<std::size_t>(scripted.trickleChunks, 1);
    const std::size_t chunkSize = (scripted.body.size() + chunks - 1) / chunks;
    auto body = std::make_shared<std::string>(std::move(scripted.body));
    response.set_content_provider(
        body->size(), scripted.contentType.c_str(),
        [this, body, chunkSize, interval = scripted.trickleInterval](
            std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (!pause(interval)) {
                return false;
            }
            return sink.write(body->data() + offset, std::min({chunkSize, length}));
        });
}

int closedLoopbackPort() {
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    if (sock < 0) {
        throw std::runtime_error("closedLoopbackPort: no socket");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(address);
    const bool bound = ::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                       ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &size) == 0;
    ::close(sock); // bound but never listening, and now released
    if (!bound) {
        throw std::runtime_error("closedLoopbackPort: cannot bind");
    }
    return ntohs(address.sin_port);
}

} // namespace testsupport
