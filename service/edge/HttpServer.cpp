#include "service/edge/HttpServer.h"

#include "service/edge/HttpServerImpl.h"
#include "service/edge/RateLimiter.h"
#include "service/edge/Tls.h"

#include <algorithm>

namespace service {

namespace {

using boost::system::error_code;

// Connections beyond the limits are closed at once, unread: the cheapest answer.
asio::awaitable<void> acceptLoop(HttpServer::Impl& server) {
    for (;;) {
        error_code ec;
        auto strand = asio::make_strand(server.io);
        tcp::socket socket = co_await server.acceptor.async_accept(
            strand, asio::redirect_error(asio::use_awaitable, ec));
        if (ec == asio::error::operation_aborted || !server.acceptor.is_open()) {
            co_return;
        }
        if (ec) {
            // Out of descriptors, say: pause, or this loop would spin on it.
            server.notice("cannot accept a connection: " + ec.message());
            asio::steady_timer pause(server.io, std::chrono::milliseconds(100));
            co_await pause.async_wait(asio::redirect_error(asio::use_awaitable, ec));
            continue;
        }
        const auto remote = socket.remote_endpoint(ec);
        const std::string key = ec ? "" : clientKey(remote.address().to_string());
        if (ec || !server.admitConnection(key)) {
            socket.close(ec);
            continue;
        }
        auto connection = std::make_shared<Connection>();
        connection->executor = strand;
        {
            const std::lock_guard lock(server.mutex);
            server.connections.push_back(connection);
        }
        asio::co_spawn(strand, serveConnection(server, std::move(socket), connection),
                       [&server, key, connection](const std::exception_ptr& failure) {
                           if (failure) {
                               server.notice("a connection ended on an unexpected failure");
                           }
                           server.release(key, connection);
                       });
    }
}

std::optional<tcp::endpoint> resolve(const std::string& host, int port) {
    asio::io_context io;
    error_code ec;
    const auto found = tcp::resolver(io).resolve(
        host, std::to_string(port), tcp::resolver::passive | tcp::resolver::numeric_service, ec);
    if (ec || found.empty()) {
        return std::nullopt;
    }
    return found.begin()->endpoint();
}

} // namespace

HttpServer::Impl::Impl(ServerConfig c, Handler h, Logger l, Notices n, FastPath f)
    : config(std::move(c)), handler(std::move(h)), logger(std::move(l)), notices(std::move(n)),
      fastPath(std::move(f)), pool(config.threads, config.queueLimit, config.queueDeadline) {}

void HttpServer::Impl::notice(const std::string& text) const {
    if (notices) {
        notices(text);
    }
}

Response HttpServer::Impl::respond(const Request& request) const {
    try {
        return handler(request);
    } catch (const std::exception& error) {
        notice(std::string("a request failed unexpectedly: ") + error.what());
    } catch (...) {
        notice("a request failed unexpectedly");
    }
    return jsonFailure(500, "Sunucuda beklenmeyen bir hata oluştu.");
}

std::optional<Response> HttpServer::Impl::answerAtOnce(const Request& request) const {
    try {
        return fastPath ? fastPath(request) : std::nullopt;
    } catch (const std::exception& error) {
        notice(std::string("a fast answer failed unexpectedly: ") + error.what());
    } catch (...) {
        notice("a fast answer failed unexpectedly");
    }
    return std::nullopt;
}

bool HttpServer::Impl::admitConnection(const std::string& address) {
    const std::lock_guard lock(mutex);
    if (connections.size() >= config.maxConnections) {
        return false;
    }
    unsigned& count = perAddress[address];
    if (config.maxConnectionsPerAddress != 0 && count >= config.maxConnectionsPerAddress) {
        if (count == 0) {
            perAddress.erase(address);
        }
        return false;
    }
    ++count;
    return true;
}

void HttpServer::Impl::release(const std::string& address,
                               const std::shared_ptr<Connection>& connection) {
    const std::lock_guard lock(mutex);
    if (--perAddress[address] == 0) {
        perAddress.erase(address);
    }
    connections.remove(connection);
}

HttpServer::HttpServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

HttpServer::~HttpServer() {
    stopAccepting();
    waitUntilIdle(std::chrono::seconds(2));
    // What has not started could no longer be answered: a submission stored
    // now would be sent again by its client.
    impl_->pool.stop();
    impl_->io.stop();
    for (auto& thread : impl_->ioThreads) {
        thread.join();
    }
}

int HttpServer::port() const {
    return impl_->port;
}

int HttpServer::openConnections() const {
    const std::lock_guard lock(impl_->mutex);
    return static_cast<int>(impl_->connections.size());
}

std::variant<std::unique_ptr<HttpServer>, std::string>
HttpServer::start(const ServerConfig& config, Handler handler, Logger logger, Notices notices,
                  FastPath fastPath) {
    const auto endpoint = resolve(config.host, config.port);
    if (!endpoint) {
        return "cannot resolve the listen address '" + config.host + "'";
    }
    auto impl = std::make_unique<Impl>(config, std::move(handler), std::move(logger),
                                       std::move(notices), std::move(fastPath));
    if (!config.certPem.empty()) {
        std::string problem;
        impl->tls = tlsContext(config.certPem, config.keyPem, problem);
        if (!impl->tls) {
            return problem;
        }
    }
    error_code ec;
    auto& acceptor = impl->acceptor;
    acceptor.open(endpoint->protocol(), ec);
    if (!ec) {
        acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
        acceptor.bind(*endpoint, ec);
    }
    if (!ec) {
        acceptor.listen(asio::socket_base::max_listen_connections, ec);
    }
    if (ec) {
        return "cannot listen on " + config.host + ":" + std::to_string(config.port) + ": " +
               ec.message();
    }
    impl->port = acceptor.local_endpoint().port();
    asio::co_spawn(impl->acceptStrand, acceptLoop(*impl), asio::detached);
    const unsigned ioThreads = std::clamp(std::thread::hardware_concurrency(), 1U, 4U);
    for (unsigned i = 0; i < ioThreads; ++i) {
        impl->ioThreads.emplace_back([&io = impl->io] { io.run(); });
    }
    return std::unique_ptr<HttpServer>(new HttpServer(std::move(impl)));
}

void HttpServer::stopAccepting() {
    auto& impl = *impl_;
    if (impl.stopping.exchange(true)) {
        return;
    }
    asio::post(impl.acceptStrand, [&impl] {
        error_code ec;
        impl.acceptor.close(ec);
    });
    const std::lock_guard lock(impl.mutex);
    for (const auto& connection : impl.connections) {
        asio::post(connection->executor, [connection] {
            if (connection->idle && connection->cancel) {
                connection->cancel();
            }
        });
    }
}

bool HttpServer::waitUntilIdle(std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        {
            const std::lock_guard lock(impl_->mutex);
            if (impl_->connections.empty()) {
                return true;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool isLoopbackHost(const std::string& host) {
    // Resolved as the listener resolves it: every address a name gives must be loopback.
    asio::io_context io;
    error_code ec;
    const auto found = tcp::resolver(io).resolve(host, "", ec);
    if (ec || found.empty()) {
        return false;
    }
    return std::all_of(found.begin(), found.end(),
                       [](const auto& entry) { return entry.endpoint().address().is_loopback(); });
}

} // namespace service
