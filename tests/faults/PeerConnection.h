#pragma once

// The socket and TLS plumbing under RawPeer: waits bounded by a deadline and
// by stopping, and one accepted connection over TLS or plain TCP.

#include "faults/RawPeer.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

typedef struct ssl_st SSL;

namespace faults {

using Clock = std::chrono::steady_clock;

enum class Wait { Ready, Stopped, TimedOut };

// Waits for `events` on `fd`, for stopping, or for the deadline, whichever comes first.
Wait waitFor(int fd, short events, int stopFd, Clock::time_point deadline);

// One accepted connection, over TLS or plain TCP, all non-blocking.
class Connection {
public:
    Connection(int fd, int stopFd, SSL* ssl);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool handshake();

    // Appends what arrives; false on the end of the stream, an error, stop or deadline.
    bool receive(std::string& into);

    bool send(std::string_view bytes);

    // Reads one request: headers, then as many body bytes as Content-Length says.
    bool readRequest();

    // Sleeps, cut short by stopping.
    void pause(std::chrono::milliseconds duration);

    // Silent until the client leaves, the peer stops or the deadline passes.
    void hold();

    void end(Ending ending);

private:
    // Runs an OpenSSL call to completion on the non-blocking socket.
    template <class Call> int sslCall(Call call);

    // Unread bytes at close would turn the FIN into an RST.
    void drain();

    static std::size_t contentLength(const std::string& headers);

    int fd_;
    int stopFd_;
    SSL* ssl_;
    Clock::time_point deadline_;
};

} // namespace faults
