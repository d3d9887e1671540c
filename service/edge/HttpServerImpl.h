#pragma once
// Inside the server only: the state its connections share.

#include "service/edge/HttpServer.h"
#include "service/edge/WorkPool.h"

#include <atomic>
#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <list>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace service {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

// One open connection as the server sees it from outside its coroutine.
struct Connection {
    asio::any_io_executor executor;
    std::function<void()> cancel; // on `executor` only
    bool idle = false;            // waiting for a request to begin; on `executor` only
};

struct HttpServer::Impl {
    ServerConfig config;
    Handler handler;
    Logger logger;
    Notices notices;
    FastPath fastPath;
    asio::io_context io;
    std::optional<asio::ssl::context> tls;
    // The accept loop runs here, and a stop closes the acceptor here too, never beside it.
    asio::strand<asio::io_context::executor_type> acceptStrand{asio::make_strand(io)};
    tcp::acceptor acceptor{acceptStrand};
    WorkPool pool;
    std::vector<std::thread> ioThreads; // run the connections; the handler runs on `pool`
    std::atomic<bool> stopping{false};
    int port = 0;

    mutable std::mutex mutex; // guards what follows
    std::unordered_map<std::string, unsigned> perAddress;
    std::list<std::shared_ptr<Connection>> connections;

    Impl(ServerConfig c, Handler h, Logger l, Notices n, FastPath f);
    void notice(const std::string& text) const;
    // The handler's answer, never an exception.
    Response respond(const Request& request) const;
    // The fast path's answer, if any; a failure of it leaves the request to the handler.
    std::optional<Response> answerAtOnce(const Request& request) const;
    // Counts a new connection from `address`; false when over a limit.
    bool admitConnection(const std::string& address);
    void release(const std::string& address, const std::shared_ptr<Connection>& connection);
};

// Serves one accepted connection until it closes.
asio::awaitable<void> serveConnection(HttpServer::Impl& server, tcp::socket socket,
                                      std::shared_ptr<Connection> connection);

} // namespace service
