#include "faults/RawPeer.h"

#include "faults/PeerConnection.h"

#include <openssl/ssl.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace faults {
namespace {

constexpr std::size_t kPieceBytes = 64 * 1024;

// The generated body from byte `offset`, at most kPieceBytes of it.
std::string bodyPiece(const GeneratedStream& stream, std::size_t offset) {
    const std::size_t length = std::min(kPieceBytes, stream.bytes - offset);
    std::string piece(length, 'x');
    for (std::size_t i = 0; i < length; ++i) {
        const std::size_t at = offset + i;
        if (at < stream.prefix.size()) {
            piece[i] = stream.prefix[at];
        } else if (at >= stream.bytes - stream.suffix.size()) {
            piece[i] = stream.suffix[at - (stream.bytes - stream.suffix.size())];
        }
    }
    return piece;
}

std::string hex(std::size_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%zx", value);
    return text;
}

// Writes the generated stream, counting its bytes in `streamed`; false when
// the connection failed before the stream's end.
bool sendStream(Connection& connection, const GeneratedStream& stream,
                std::atomic<std::size_t>& streamed) {
    std::size_t offset = 0;
    bool sent = true;
    while (sent && offset < stream.bytes) {
        switch (stream.kind) {
        case GeneratedStream::Kind::None:
            offset = stream.bytes;
            continue;
        case GeneratedStream::Kind::Body: {
            const std::string piece = bodyPiece(stream, offset);
            sent = connection.send(piece);
            offset += sent ? piece.size() : 0;
            break;
        }
        case GeneratedStream::Kind::ChunkedBody: {
            const std::string piece = bodyPiece(stream, offset);
            sent = connection.send(hex(piece.size()) + "\r\n" + piece + "\r\n");
            offset += sent ? piece.size() : 0;
            break;
        }
        case GeneratedStream::Kind::HeaderLines: {
            const std::string line =
                "X-Filler-" + std::to_string(offset) + ": " + std::string(1000, 'x') + "\r\n";
            sent = connection.send(line);
            offset += sent ? line.size() : 0;
            break;
        }
        }
        streamed = offset;
    }
    if (!sent) {
        return false;
    }
    if (stream.kind == GeneratedStream::Kind::ChunkedBody) {
        sent = connection.send("0\r\n\r\n");
    } else if (stream.kind == GeneratedStream::Kind::HeaderLines) {
        sent = connection.send("\r\n");
    }
    return sent;
}

} // namespace

RawPeer::RawPeer(PeerScript script) : script_(std::move(script)) {
    const auto fail = [this](const char* what) {
        if (listenFd_ >= 0) {
            ::close(listenFd_);
        }
        if (stopFd_ >= 0) {
            ::close(stopFd_);
        }
        SSL_CTX_free(context_);
        throw std::runtime_error(std::string("RawPeer: ") + what);
    };
    if (script_.certificate) {
        context_ = SSL_CTX_new(TLS_server_method());
        if (context_ == nullptr ||
            SSL_CTX_use_certificate_chain_file(context_, script_.certificate->certFile.c_str()) !=
                1 ||
            SSL_CTX_use_PrivateKey_file(context_, script_.certificate->keyFile.c_str(),
                                        SSL_FILETYPE_PEM) != 1) {
            fail("the certificate or key was not accepted");
        }
        SSL_CTX_set_mode(context_,
                         SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    }
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (stopFd_ < 0 || listenFd_ < 0) {
        fail("no socket");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(address);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listenFd_, 8) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        fail("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

RawPeer::~RawPeer() {
    stop();
    ::close(listenFd_);
    ::close(stopFd_);
    SSL_CTX_free(context_);
}

void RawPeer::stop() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(stopFd_, &one, sizeof one);
        thread_.join();
    }
}

std::string RawPeer::baseUrl() const {
    return "https://127.0.0.1:" + std::to_string(port_);
}

void RawPeer::serve() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    const auto never = Clock::now() + std::chrono::hours(24);
    while (waitFor(listenFd_, POLLIN, stopFd_, never) == Wait::Ready) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            handle(fd);
        }
    }
}

void RawPeer::handle(int fd) {
    ++connections_;
    SSL* ssl = nullptr;
    if (context_ != nullptr && !script_.silentAfterAccept) {
        ssl = SSL_new(context_);
        if (ssl == nullptr || SSL_set_fd(ssl, fd) != 1) {
            SSL_free(ssl);
            ::close(fd);
            return;
        }
    }
    Connection connection(fd, stopFd_, ssl);
    if (script_.silentAfterAccept) {
        connection.hold();
        return;
    }
    if (ssl != nullptr && !connection.handshake()) {
        return;
    }
    if (script_.readRequest) {
        if (!connection.readRequest()) {
            return;
        }
        ++requests_;
    }
    if (!connection.send(script_.reply)) {
        return;
    }
    const GeneratedStream& stream = script_.stream;
    if (!sendStream(connection, stream, streamedBytes_)) {
        return;
    }
    streamCompleted_ = stream.kind != GeneratedStream::Kind::None;
    connection.pause(script_.pauseBeforeEnding);
    connection.end(script_.ending);
}

} // namespace faults
