#include "faults/RawPeer.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <stdexcept>
#include <string_view>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace faults {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxRequestBytes = 64 * 1024;
constexpr std::size_t kPieceBytes = 64 * 1024;

enum class Wait { Ready, Stopped, TimedOut };

// Waits for `events` on `fd`, for stopping, or for the deadline, whichever comes first.
Wait waitFor(int fd, short events, int stopFd, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - Clock::now());
        if (left.count() <= 0) {
            return Wait::TimedOut;
        }
        pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
        const int n = ::poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (n < 0 && errno != EINTR) {
            return Wait::Stopped;
        }
        if (n > 0) {
            if (fds[1].revents != 0) {
                return Wait::Stopped;
            }
            if (fds[0].revents != 0) {
                return Wait::Ready; // readiness, an error or a hang-up: the next call tells
            }
        }
    }
}

// A SIGPIPE raised by a failed write on this thread is blocked; take it off
// the pending set so it never reaches anyone.
void discardPendingSigpipe() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    timespec zero{};
    while (::sigtimedwait(&pipe, nullptr, &zero) == SIGPIPE) {
    }
}

// One accepted connection, over TLS or plain TCP, all non-blocking.
class Connection {
public:
    Connection(int fd, int stopFd, SSL* ssl)
        : fd_(fd), stopFd_(stopFd), ssl_(ssl),
          deadline_(Clock::now() + RawPeer::kConnectionLimit) {}
    ~Connection() {
        if (ssl_ != nullptr) {
            SSL_free(ssl_); // never sends close_notify by itself
        }
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool handshake() {
        return sslCall([this] { return SSL_accept(ssl_); }) > 0;
    }

    // Appends what arrives; false on the end of the stream, an error, stop or deadline.
    bool receive(std::string& into) {
        char buffer[4096];
        if (ssl_ != nullptr) {
            const int n = sslCall([&] { return SSL_read(ssl_, buffer, sizeof buffer); });
            if (n <= 0) {
                return false;
            }
            into.append(buffer, static_cast<std::size_t>(n));
            return true;
        }
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n > 0) {
                into.append(buffer, static_cast<std::size_t>(n));
                return true;
            }
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                return false;
            }
            if (waitFor(fd_, POLLIN, stopFd_, deadline_) != Wait::Ready) {
                return false;
            }
        }
    }

    bool send(std::string_view bytes) {
        while (!bytes.empty()) {
            std::size_t written = 0;
            if (ssl_ != nullptr) {
                const int n = sslCall([&] {
                    return SSL_write(ssl_, bytes.data(),
                                     static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 30)));
                });
                if (n <= 0) {
                    discardPendingSigpipe();
                    return false;
                }
                written = static_cast<std::size_t>(n);
            } else {
                const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
                if (n < 0) {
                    if (errno != EAGAIN && errno != EINTR) {
                        return false;
                    }
                    if (waitFor(fd_, POLLOUT, stopFd_, deadline_) != Wait::Ready) {
                        return false;
                    }
                    continue;
                }
                written = static_cast<std::size_t>(n);
            }
            bytes.remove_prefix(written);
        }
        return true;
    }

    // Reads one request: headers, then as many body bytes as Content-Length says.
    bool readRequest() {
        std::string data;
        std::size_t headerEnd = std::string::npos;
        while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
            if (data.size() > kMaxRequestBytes || !receive(data)) {
                return false;
            }
        }
        const std::size_t wanted = headerEnd + 4 + contentLength(data.substr(0, headerEnd));
        while (data.size() < wanted) {
            if (data.size() > kMaxRequestBytes || !receive(data)) {
                return false;
            }
        }
        return true;
    }

    // Sleeps, cut short by stopping.
    void pause(std::chrono::milliseconds duration) {
        pollfd stop{stopFd_, POLLIN, 0};
        ::poll(&stop, 1, static_cast<int>(duration.count()));
    }

    // Silent until the client leaves, the peer stops or the deadline passes.
    void hold() {
        char scratch[4096];
        while (waitFor(fd_, POLLIN, stopFd_, deadline_) == Wait::Ready) {
            const ssize_t n = ::recv(fd_, scratch, sizeof scratch, 0);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                return;
            }
        }
    }

    void end(Ending ending) {
        switch (ending) {
        case Ending::Hold:
            hold();
            break;
        case Ending::CloseNotify:
            if (ssl_ != nullptr) {
                SSL_shutdown(ssl_); // sends close_notify; the reply does not matter
                discardPendingSigpipe();
            }
            drain();
            break;
        case Ending::Close:
            drain();
            break;
        case Ending::Reset: {
            const linger abort{1, 0};
            ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            break;
        }
        }
        // The destructor closes the socket: FIN, or RST after SO_LINGER 0.
    }

private:
    // Runs an OpenSSL call to completion on the non-blocking socket.
    template <class Call> int sslCall(Call call) {
        for (;;) {
            ERR_clear_error();
            const int rc = call();
            if (rc > 0) {
                return rc;
            }
            const int error = SSL_get_error(ssl_, rc);
            short events = 0;
            if (error == SSL_ERROR_WANT_READ) {
                events = POLLIN;
            } else if (error == SSL_ERROR_WANT_WRITE) {
                events = POLLOUT;
            } else {
                return rc;
            }
            if (waitFor(fd_, events, stopFd_, deadline_) != Wait::Ready) {
                return -1;
            }
        }
    }

    // Unread bytes at close would turn the FIN into an RST.
    void drain() {
        char scratch[4096];
        while (::recv(fd_, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
        }
    }

    static std::size_t contentLength(const std::string& headers) {
        std::string lower(headers);
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const std::string name = "\r\ncontent-length:";
        const std::size_t at = lower.find(name);
        if (at == std::string::npos) {
            return 0;
        }
        return std::strtoull(lower.c_str() + at + name.size(), nullptr, 10);
    }

    int fd_;
    int stopFd_;
    SSL* ssl_;
    Clock::time_point deadline_;
};

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
            SSL_CTX_use_certificate_chain_file(context_,
                                               script_.certificate->certFile.c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(context_, script_.certificate->keyFile.c_str(),
                                        SSL_FILETYPE_PEM) != 1) {
            fail("the certificate or key was not accepted");
        }
        SSL_CTX_set_mode(context_, SSL_MODE_ENABLE_PARTIAL_WRITE |
                                       SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
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
            const std::string line = "X-Filler-" + std::to_string(offset) + ": " +
                                     std::string(1000, 'x') + "\r\n";
            sent = connection.send(line);
            offset += sent ? line.size() : 0;
            break;
        }
        }
        streamedBytes_ = offset;
    }
    if (!sent) {
        return;
    }
    if (stream.kind == GeneratedStream::Kind::ChunkedBody) {
        sent = connection.send("0\r\n\r\n");
    } else if (stream.kind == GeneratedStream::Kind::HeaderLines) {
        sent = connection.send("\r\n");
    }
    if (!sent) {
        return;
    }
    streamCompleted_ = stream.kind != GeneratedStream::Kind::None;
    connection.pause(script_.pauseBeforeEnding);
    connection.end(script_.ending);
}

} // namespace faults
