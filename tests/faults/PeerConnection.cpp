#include "faults/PeerConnection.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace faults {
namespace {

constexpr std::size_t kMaxRequestBytes = 64 * 1024;

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

} // namespace

Wait waitFor(int fd, short events, int stopFd, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
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

Connection::Connection(int fd, int stopFd, SSL* ssl)
    : fd_(fd), stopFd_(stopFd), ssl_(ssl), deadline_(Clock::now() + RawPeer::kConnectionLimit) {}

Connection::~Connection() {
    if (ssl_ != nullptr) {
        SSL_free(ssl_); // never sends close_notify by itself
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

template <class Call> int Connection::sslCall(Call call) {
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

bool Connection::handshake() {
    return sslCall([this] { return SSL_accept(ssl_); }) > 0;
}

bool Connection::receive(std::string& into) {
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

bool Connection::send(std::string_view bytes) {
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

bool Connection::readRequest() {
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

void Connection::pause(std::chrono::milliseconds duration) {
    pollfd stop{stopFd_, POLLIN, 0};
    ::poll(&stop, 1, static_cast<int>(duration.count()));
}

void Connection::hold() {
    char scratch[4096];
    while (waitFor(fd_, POLLIN, stopFd_, deadline_) == Wait::Ready) {
        const ssize_t n = ::recv(fd_, scratch, sizeof scratch, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            return;
        }
    }
}

void Connection::end(Ending ending) {
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

void Connection::drain() {
    char scratch[4096];
    while (::recv(fd_, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
    }
}

std::size_t Connection::contentLength(const std::string& headers) {
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

} // namespace faults
