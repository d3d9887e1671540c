#pragma once

#include "service/edge/RateLimiter.h"
#include "service/store/DatabaseForm.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace service {

struct Options {
    std::string host = "127.0.0.1";
    int port = 8443; // 0 picks a free port
    std::string tlsCert;
    std::string tlsKey;
    std::string database = "scores.sqlite3";
    RateLimit rateLimit;
    bool trustForwardedFor = false;
    unsigned threads = 16; // each a submission that can join a batch
    unsigned maxConnections = 4096;
    std::optional<unsigned> maxConnectionsPerAddress; // 0: no limit; unset: the default

    // A direct client's connections are capped by default; behind a proxy
    // (--trust-forwarded-for) every connection is the proxy's, so it is not.
    unsigned connectionsPerAddress() const {
        return maxConnectionsPerAddress.value_or(trustForwardedFor ? 0 : 64);
    }
    unsigned connectionTimeoutSec = 10;
    std::string publicUrl;   // the address users reach the service by, without a final '/'
    std::string metricsHost; // empty: no metrics listener
    int metricsPort = 0;
    bool help = false;

    bool tls() const { return !tlsCert.empty(); }
};

// The command line (without the program name) as Options, or why it is wrong.
std::variant<Options, std::string> parseOptions(const std::vector<std::string>& args);

std::string usage();

} // namespace service
