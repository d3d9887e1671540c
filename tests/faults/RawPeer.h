#pragma once

#include "support/TestPki.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <thread>

typedef struct ssl_ctx_st SSL_CTX;

namespace faults {

// What the peer writes after the scripted bytes, generated piece by piece so
// that even a huge stream costs the test process no more than one buffer.
struct GeneratedStream {
    enum class Kind {
        None,
        Body,        // `prefix`, then 'x' filler, then `suffix`: `bytes` in all
        ChunkedBody, // the same body in chunked transfer coding
        HeaderLines, // `bytes` of "X-Filler-N: xxx…" header lines, then the blank line
    };
    Kind kind = Kind::None;
    std::size_t bytes = 0;
    std::string prefix = R"({"message":")";
    std::string suffix = R"("})";
};

// How a connection ends once everything scripted has been written.
enum class Ending {
    Close,       // FIN without a TLS close_notify: a truncated stream
    CloseNotify, // close_notify, then FIN: an orderly end of the stream
    Reset,       // RST (SO_LINGER 0)
    Hold,        // keep the connection open, silent, until the client leaves
};

// What the peer does with every connection it accepts, in this order.
struct PeerScript {
    // TLS with this certificate when set; otherwise plain TCP.
    std::optional<testsupport::IssuedCertificate> certificate;
    // Accept the TCP connection and then say nothing at all, not even the
    // TLS handshake, until the client leaves.
    bool silentAfterAccept = false;
    // Read one whole request (headers and its Content-Length body) first.
    bool readRequest = true;
    std::string reply; // written as it is
    GeneratedStream stream;
    // A pause before the ending, so the client has taken in what was sent.
    std::chrono::milliseconds pauseBeforeEnding{0};
    Ending ending = Ending::Close;
};

// A deliberately misbehaving server on 127.0.0.1 with an ephemeral port,
// speaking raw bytes over TCP or over TLS (OpenSSL directly), on its own
// thread from construction to stop() or destruction. Every wait is bounded
// and cut short by stopping, so tearing down never hangs; SIGPIPE is blocked
// on the peer's thread, so a client that leaves early costs only a failed write.
class RawPeer {
public:
    // A connection is dropped this long after it was accepted, whatever it is doing.
    static constexpr std::chrono::seconds kConnectionLimit{20};

    explicit RawPeer(PeerScript script); // throws when it cannot listen or load the certificate
    ~RawPeer();
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    // Stops serving and joins the thread; idempotent. The counters are final after it.
    void stop();

    int port() const { return port_; }
    std::string baseUrl() const; // https://127.0.0.1:<port>

    int connections() const { return connections_.load(); }
    int requests() const { return requests_.load(); } // whole requests read
    std::size_t streamedBytes() const { return streamedBytes_.load(); }
    bool streamCompleted() const { return streamCompleted_.load(); }

private:
    void serve();
    void handle(int fd);

    PeerScript script_;
    SSL_CTX* context_ = nullptr;
    int listenFd_ = -1;
    int stopFd_ = -1; // an eventfd: readable once stopping
    int port_ = 0;
    std::thread thread_;

    std::atomic<int> connections_{0};
    std::atomic<int> requests_{0};
    std::atomic<std::size_t> streamedBytes_{0};
    std::atomic<bool> streamCompleted_{false};
};

} // namespace faults
