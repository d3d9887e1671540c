#include "service/HttpServer.h"

#include <arpa/inet.h>
#include <array>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <microhttpd.h>
#include <netdb.h>
#include <optional>
#include <thread>
#include <unistd.h>
#include <vector>

namespace service {

struct HttpServer::Exchange {
    Request request;
    std::chrono::steady_clock::time_point started;
    std::chrono::system_clock::time_point startedWall;
    int status = 0;
    long long recordId = 0;
    bool answered = false;
    std::size_t drained = 0; // body bytes received so far
};

namespace {

constexpr std::size_t kMaxDrainBytes = std::size_t{1024} * 1024;

const char* const kTlsPriorities = "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2";

std::string header(MHD_Connection* connection, const char* name) {
    const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    return value ? value : "";
}

std::string peerAddress(MHD_Connection* connection) {
    const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    std::array<char, INET6_ADDRSTRLEN> text{};
    if (info && info->client_addr) {
        const sockaddr* address = info->client_addr;
        const void* raw = address->sa_family == AF_INET6
                              ? static_cast<const void*>(
                                    &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr)
                              : &reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
        inet_ntop(address->sa_family, raw, text.data(), text.size());
    }
    return text.data();
}

// The last entry is the one our own proxy appended; earlier ones are the client's word.
std::string lastForwardedFor(const std::string& value) {
    std::string last =
        value.substr(value.rfind(',') == std::string::npos ? 0 : value.rfind(',') + 1);
    const auto first = last.find_first_not_of(" \t");
    const auto end = last.find_last_not_of(" \t");
    return first == std::string::npos ? "" : last.substr(first, end - first + 1);
}

MHD_Result collectQuery(void* target, MHD_ValueKind, const char* key, const char* value) {
    (*static_cast<std::map<std::string, std::string>*>(target))[key] = value ? value : "";
    return MHD_YES;
}

Request readHead(HttpServer& server, MHD_Connection* connection, const char* url,
                 const char* method) {
    Request request;
    request.method = method;
    request.path = url;
    request.contentType = header(connection, MHD_HTTP_HEADER_CONTENT_TYPE);
    request.userAgent = header(connection, MHD_HTTP_HEADER_USER_AGENT);
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, collectQuery, &request.query);
    request.clientAddress = peerAddress(connection);
    if (server.config().trustForwardedFor) {
        const auto forwarded = lastForwardedFor(header(connection, "X-Forwarded-For"));
        if (!forwarded.empty()) {
            request.clientAddress = forwarded;
        }
    }
    const std::string length = header(connection, MHD_HTTP_HEADER_CONTENT_LENGTH);
    std::size_t declared = 0;
    std::from_chars(length.data(), length.data() + length.size(), declared);
    request.bodyTooLarge = declared > kMaxBodyBytes || length.size() > 9;
    return request;
}

MHD_Result answer(HttpServer& server, MHD_Connection* connection, HttpServer::Exchange& exchange) {
    const Response response = server.respond(exchange.request);
    exchange.answered = true;
    exchange.status = response.status;
    exchange.recordId = response.recordId;
    MHD_Response* reply = MHD_create_response_from_buffer(
        response.body.size(), const_cast<char*>(response.body.data()), MHD_RESPMEM_MUST_COPY);
    if (reply == nullptr) {
        return MHD_NO;
    }
    MHD_add_response_header(reply, MHD_HTTP_HEADER_CONTENT_TYPE, response.contentType.c_str());
    MHD_add_response_header(reply, "X-Content-Type-Options", "nosniff");
    for (const auto& [name, value] : response.headers) {
        MHD_add_response_header(reply, name.c_str(), value.c_str());
    }
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(response.status), reply);
    MHD_destroy_response(reply);
    return queued;
}

MHD_Result onRequest(void* self, MHD_Connection* connection, const char* url, const char* method,
                     const char*, const char* data, size_t* size, void** state) {
    auto& server = *static_cast<HttpServer*>(self);
    auto* exchange = static_cast<HttpServer::Exchange*>(*state);
    if (exchange == nullptr) {
        exchange = new HttpServer::Exchange{readHead(server, connection, url, method),
                                            std::chrono::steady_clock::now(),
                                            std::chrono::system_clock::now()};
        *state = exchange;
        server.begun();
        // A declared size over the limit is answered before the body is read.
        return exchange->request.bodyTooLarge ? answer(server, connection, *exchange) : MHD_YES;
    }
    if (*size > 0) {
        // A body without a declared size is read to its end and dropped past the
        // limit, so that it can still be answered 413; past kMaxDrainBytes the
        // connection is closed instead.
        auto& request = exchange->request;
        exchange->drained += *size;
        request.bodyTooLarge = request.bodyTooLarge || exchange->drained > kMaxBodyBytes;
        if (request.bodyTooLarge) {
            request.body.clear();
        } else {
            request.body.append(data, *size);
        }
        *size = 0;
        return exchange->drained > kMaxDrainBytes ? MHD_NO : MHD_YES;
    }
    return exchange->answered ? MHD_YES : answer(server, connection, *exchange);
}

void onCompleted(void* self, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
    auto* exchange = static_cast<HttpServer::Exchange*>(*state);
    *state = nullptr;
    if (exchange != nullptr) {
        static_cast<HttpServer*>(self)->finished(exchange);
    }
}

// Says why listening failed; once listening, the library's notes on single
// connections (clients that went away, failed handshakes) would only flood
// the log that a client can provoke, so they are dropped.
void onLibraryMessage(void* self, const char* format, va_list arguments) {
    if (!static_cast<HttpServer*>(self)->listening()) {
        std::fputs("score-service: ", stderr);
        std::vfprintf(stderr, format, arguments);
    }
}

std::optional<sockaddr_storage> resolve(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        return std::nullopt;
    }
    sockaddr_storage address{};
    std::memcpy(&address, found->ai_addr, found->ai_addrlen);
    freeaddrinfo(found);
    return address;
}

} // namespace

HttpServer::HttpServer(ServerConfig config, Handler handler, Logger logger)
    : config_(std::move(config)), handler_(std::move(handler)), logger_(std::move(logger)) {}

HttpServer::~HttpServer() {
    if (daemon_ != nullptr) {
        MHD_stop_daemon(daemon_);
    }
}

void HttpServer::finished(Exchange* exchange) {
    const std::unique_ptr<Exchange> owned(exchange);
    logger_(LogEntry{exchange->startedWall, exchange->request.clientAddress,
                     exchange->request.method, exchange->request.path, exchange->status,
                     std::chrono::duration_cast<std::chrono::microseconds>(
                         std::chrono::steady_clock::now() - exchange->started),
                     exchange->recordId});
    --inFlight_;
}

std::variant<std::unique_ptr<HttpServer>, std::string>
HttpServer::start(const ServerConfig& config, Handler handler, Logger logger) {
    const auto address = resolve(config.host, config.port);
    if (!address) {
        return "cannot resolve the listen address '" + config.host + "'";
    }
    std::unique_ptr<HttpServer> server(
        new HttpServer(config, std::move(handler), std::move(logger)));
    const bool tls = !config.certPem.empty();
    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_ITC | MHD_USE_ERROR_LOG;
    flags |= tls ? MHD_USE_TLS : 0;
    flags |= address->ss_family == AF_INET6 ? MHD_USE_IPv6 : 0;
    std::vector<MHD_OptionItem> options = {
        {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&onLibraryMessage), server.get()},
        {MHD_OPTION_SOCK_ADDR, 0, const_cast<sockaddr_storage*>(&*address)},
        {MHD_OPTION_THREAD_POOL_SIZE, config.threads, nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, config.maxConnections, nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, config.maxConnectionsPerAddress, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, config.connectionTimeoutSec, nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&onCompleted), server.get()},
    };
    if (tls) {
        options.push_back(
            {MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(config.certPem.c_str())});
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(config.keyPem.c_str())});
        options.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(kTlsPriorities)});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});
    server->daemon_ = MHD_start_daemon(flags, 0, nullptr, nullptr, &onRequest, server.get(),
                                       MHD_OPTION_ARRAY, options.data(), MHD_OPTION_END);
    if (server->daemon_ == nullptr) {
        return "cannot listen on " + config.host + ":" + std::to_string(config.port) + "";
    }
    server->listening_ = true;
    server->port_ = MHD_get_daemon_info(server->daemon_, MHD_DAEMON_INFO_BIND_PORT)->port;
    return server;
}

void HttpServer::stopAccepting() {
    const MHD_socket listener = MHD_quiesce_daemon(daemon_);
    if (listener != MHD_INVALID_SOCKET) {
        close(listener);
    }
}

bool HttpServer::waitUntilIdle(std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (inFlight_.load() > 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool isLoopbackHost(const std::string& host) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) {
        return false;
    }
    bool loopback = true;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET) {
            const auto ip = ntohl(reinterpret_cast<sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr);
            loopback = loopback && (ip >> 24) == 127;
        } else {
            const auto* ip6 = &reinterpret_cast<sockaddr_in6*>(entry->ai_addr)->sin6_addr;
            loopback = loopback && entry->ai_family == AF_INET6 && IN6_IS_ADDR_LOOPBACK(ip6);
        }
    }
    freeaddrinfo(found);
    return loopback;
}

} // namespace service
