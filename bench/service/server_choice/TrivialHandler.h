#pragma once

#include <string>
#include <string_view>

namespace bench {

// The same work for both candidate servers, so that only the library differs:
// check the type, the size and that the body is JSON, then answer in JSON.
struct TrivialReply {
    unsigned status;
    std::string body;
};

inline constexpr std::size_t kMaxBody = 16 * 1024;

TrivialReply handleTrivialSubmit(std::string_view contentType, std::string_view body,
                                 bool tooLarge);

// Options both prototypes accept: --cert F --key F [--threads N] [--per-ip N]
// [--max-seconds N]. Returns false with a message on stderr when they are bad.
struct ServerOptions {
    std::string certPath;
    std::string keyPath;
    std::string certPem;
    std::string keyPem;
    unsigned threads = 2;
    unsigned perIpLimit = 0;
    unsigned maxSeconds = 300;
};

bool parseServerOptions(int argc, char** argv, ServerOptions& out);

// Blocks until SIGINT/SIGTERM or the time bound, whichever comes first.
void waitForStop(unsigned maxSeconds);

} // namespace bench
