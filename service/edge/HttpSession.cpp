#include "service/edge/HttpRules.h"
#include "service/edge/HttpServerImpl.h"

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/http/span_body.hpp>
#include <boost/beast/ssl.hpp>

namespace service {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
using boost::system::error_code;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxHeadBytes = std::size_t{16} * 1024;
constexpr std::size_t kLingerBytes = std::size_t{256} * 1024;

struct Answer {
    Response response;
    bool close = false;
};

Answer refuse(int status, const std::string& message) {
    return {jsonFailure(status, message), true};
}

// Too much waits already: said before the client's deadline, not after it.
Response busy() {
    return jsonFailure(503, "Sunucu şu an çok meşgul. Lütfen daha sonra tekrar deneyin.");
}

// Why the parser gave up, as the client's answer.
Answer parseFailure(const error_code& ec) {
    if (ec == http::error::body_limit || ec == http::error::buffer_overflow) {
        return refuse(413, "İstek çok büyük: en fazla " + std::to_string(kMaxBodyBytes / 1024) +
                               " KiB gönderilebilir.");
    }
    if (ec == http::error::header_limit) {
        return refuse(431, "İstek başlıkları çok büyük.");
    }
    return refuse(400, "Geçersiz istek: HTTP olarak çözülemedi.");
}

RequestHead headOf(const http::request_parser<http::string_body>& parser, const std::string& peer) {
    const auto& message = parser.get();
    RequestHead head{std::string(message.method_string()), std::string(message.target()), {}, peer};
    for (const auto& field : message) {
        head.fields.emplace_back(std::string(field.name_string()), std::string(field.value()));
    }
    return head;
}

template <class Stream> beast::tcp_stream& tcpOf(Stream& stream) {
    if constexpr (std::is_same_v<Stream, beast::tcp_stream>) {
        return stream;
    } else {
        return stream.next_layer();
    }
}

// Runs the handler on the pool and waits for it without holding this thread.
asio::awaitable<Response> dispatch(HttpServer::Impl& server, Request request) {
    struct Pending {
        explicit Pending(const asio::any_io_executor& executor) : signal(executor) {}
        asio::steady_timer signal;
        Response response;
        bool ready = false;
    };
    auto pending = std::make_shared<Pending>(co_await asio::this_coro::executor);
    pending->signal.expires_at(Clock::time_point::max());
    const bool queued =
        server.pool.post([&server, pending, request = std::move(request)](bool late) {
            Response response = late ? busy() : server.respond(request);
            asio::post(pending->signal.get_executor(), [pending, response = std::move(response)] {
                pending->response = std::move(response);
                pending->ready = true;
                pending->signal.cancel();
            });
        });
    if (!queued) {
        co_return busy();
    }
    error_code ec;
    while (!pending->ready) {
        co_await pending->signal.async_wait(asio::redirect_error(asio::use_awaitable, ec));
    }
    co_return std::move(pending->response);
}

// False when the answer could not be written.
template <class Stream>
asio::awaitable<bool> write(Stream& stream, const Request& request, const Answer& answer,
                            bool tls) {
    // The body is sent from where the answer holds it, a kept page's included: never copied.
    http::response<http::span_body<const char>> reply{
        static_cast<http::status>(answer.response.status), 11};
    // A 304 stands for the body the client holds, so it sends neither a type
    // nor a length: Beast's "Content-Length: 0" would misstate that body.
    const bool notModified = reply.result() == http::status::not_modified;
    if (!notModified) {
        reply.set(http::field::content_type, answer.response.contentType);
    }
    for (const auto& [name, value] : edgeHeaders(request, answer.response, tls)) {
        reply.set(name, value);
    }
    for (const auto& [name, value] : answer.response.headers) {
        reply.insert(name, value);
    }
    reply.keep_alive(!answer.close);
    const std::string_view body = bodyOf(answer.response);
    reply.body() = {body.data(), body.size()};
    if (!notModified) {
        reply.prepare_payload();
    }
    http::response_serializer<http::span_body<const char>> serializer{reply};
    error_code ec;
    if (request.method == "HEAD") {
        co_await http::async_write_header(stream, serializer,
                                          asio::redirect_error(asio::use_awaitable, ec));
    } else {
        co_await http::async_write(stream, serializer,
                                   asio::redirect_error(asio::use_awaitable, ec));
    }
    co_return !ec;
}

// Closes so that the answer just written reaches the client: what it still
// sends is read and dropped for a moment, lest the kernel reset the connection.
asio::awaitable<void> lingeringClose(beast::tcp_stream& tcp) {
    error_code ec;
    tcp.socket().shutdown(tcp::socket::shutdown_send, ec);
    tcp.expires_after(std::chrono::seconds(1));
    std::vector<char> sink(std::size_t{16} * 1024);
    for (std::size_t dropped = 0; !ec && dropped < kLingerBytes;) {
        dropped += co_await tcp.async_read_some(asio::buffer(sink),
                                                asio::redirect_error(asio::use_awaitable, ec));
    }
    tcp.close();
}

// Reads one request into `request` and the answer to it: the handler's, or
// the edge's refusal; nothing when the connection should end without one.
template <class Stream>
asio::awaitable<std::optional<Answer>> readAndAnswer(HttpServer::Impl& server, Stream& stream,
                                                     beast::flat_buffer& buffer,
                                                     const std::string& peer, Request& request) {
    http::request_parser<http::string_body> parser;
    parser.header_limit(kMaxHeadBytes);
    parser.body_limit(kMaxBodyBytes);
    error_code ec;
    co_await http::async_read_header(stream, buffer, parser,
                                     asio::redirect_error(asio::use_awaitable, ec));
    if (ec == beast::error::timeout || ec == http::error::end_of_stream ||
        ec == asio::error::operation_aborted || ec == asio::error::eof) {
        co_return std::nullopt;
    }
    if (ec) {
        co_return std::optional<Answer>(parseFailure(ec));
    }
    request.method = std::string(parser.get().method_string());
    auto admitted = admitHead(headOf(parser, peer), server.config.trustForwardedFor);
    if (auto* refusal = std::get_if<Refusal>(&admitted)) {
        co_return std::optional<Answer>(refuse(refusal->status, refusal->message));
    }
    request = std::move(std::get<Request>(admitted));
    if (!parser.is_done()) {
        co_await http::async_read(stream, buffer, parser,
                                  asio::redirect_error(asio::use_awaitable, ec));
    }
    if (ec == beast::error::timeout || ec == http::error::partial_message) {
        co_return std::nullopt;
    }
    if (ec) {
        co_return std::optional<Answer>(parseFailure(ec));
    }
    request.body = std::move(parser.get().body());
    std::optional<Answer> answer(std::in_place);
    if (auto quick = server.answerAtOnce(request)) {
        answer->response = std::move(*quick);
    } else {
        answer->response = co_await dispatch(server, request);
    }
    answer->close = server.stopping || !parser.get().keep_alive();
    co_return answer;
}

// Reads one request and answers it; false when the connection should end.
template <class Stream>
asio::awaitable<bool> exchange(HttpServer::Impl& server, Stream& stream, beast::flat_buffer& buffer,
                               const std::string& peer) {
    const auto started = Clock::now();
    const auto startedWall = std::chrono::system_clock::now();
    Request request{"-", "-", {}, "", "", peer, "", "", "", ""};
    const auto read = co_await readAndAnswer(server, stream, buffer, peer, request);
    if (!read) {
        co_return false;
    }
    const Answer& answer = *read;
    // The answer gets a deadline of its own: a slow queue or database must not
    // leave a stored record unacknowledged, which a client would send again.
    tcpOf(stream).expires_after(std::chrono::seconds(server.config.connectionTimeoutSec));
    const bool sent = co_await write(stream, request, answer, server.tls.has_value());
    server.logger(LogEntry{
        startedWall, request.clientAddress, request.method, request.path, answer.response.status,
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started),
        answer.response.recordId, !sent});
    if (!sent) {
        co_return false;
    }
    if (answer.close) {
        co_await lingeringClose(tcpOf(stream));
    }
    co_return !answer.close;
}

// Waits for the first byte of the next request; while it waits, a stop may close it.
template <class Stream>
asio::awaitable<bool> awaitRequest(HttpServer::Impl& server, Stream& stream,
                                   beast::flat_buffer& buffer, Connection& connection) {
    if (buffer.size() > 0) {
        co_return true;
    }
    connection.idle = true;
    if (server.stopping) {
        co_return false;
    }
    tcpOf(stream).expires_after(std::chrono::seconds(server.config.connectionTimeoutSec));
    error_code ec;
    const auto n = co_await stream.async_read_some(buffer.prepare(4096),
                                                   asio::redirect_error(asio::use_awaitable, ec));
    connection.idle = false;
    buffer.commit(n);
    co_return !ec;
}

template <class Stream>
asio::awaitable<void> serveStream(HttpServer::Impl& server, Stream& stream,
                                  std::shared_ptr<Connection> connection, const std::string& peer) {
    connection->cancel = [&stream] { tcpOf(stream).cancel(); };
    beast::flat_buffer buffer;
    while (co_await awaitRequest(server, stream, buffer, *connection)) {
        // The whole request, head and body, must arrive within the timeout.
        tcpOf(stream).expires_after(std::chrono::seconds(server.config.connectionTimeoutSec));
        if (!co_await exchange(server, stream, buffer, peer)) {
            break;
        }
    }
}

} // namespace

asio::awaitable<void> serveConnection(HttpServer::Impl& server, tcp::socket socket,
                                      std::shared_ptr<Connection> connection) {
    error_code ec;
    const auto remote = socket.remote_endpoint(ec);
    const std::string peer = ec ? "" : remote.address().to_string();
    socket.set_option(tcp::no_delay(true), ec);
    beast::tcp_stream tcp(std::move(socket));
    if (!server.tls) {
        co_await serveStream(server, tcp, connection, peer);
        connection->cancel = nullptr;
        co_return;
    }
    beast::ssl_stream<beast::tcp_stream> stream(std::move(tcp), *server.tls);
    connection->cancel = [&stream] { stream.next_layer().cancel(); };
    stream.next_layer().expires_after(std::chrono::seconds(server.config.connectionTimeoutSec));
    co_await stream.async_handshake(asio::ssl::stream_base::server,
                                    asio::redirect_error(asio::use_awaitable, ec));
    if (!ec) {
        co_await serveStream(server, stream, connection, peer);
    }
    connection->cancel = nullptr;
}

} // namespace service
