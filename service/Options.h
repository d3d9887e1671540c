#pragma once

#include "service/edge/RateLimiter.h"
#include "service/rules/Flags.h"

#include <optional>
#include <string>
#include <vector>

namespace service {

struct HostPort {
    std::string host;
    int port = 0; // 0 picks a free port
};

// The service's settings; each member's initial value is its flag's default,
// which --help shows from here.
struct Options {
    HostPort listen{"127.0.0.1", 8443};
    std::string tlsCert;
    std::string tlsKey;
    std::string database = "scores.sqlite3";
    RateLimit rateLimit;
    bool trustForwardedFor = false;
    unsigned threads = 16; // each a submission that can join a batch
    unsigned maxConnections = 4096;
    std::optional<unsigned> maxConnectionsPerAddress; // 0: no limit; unset: the default
    static constexpr unsigned kConnectionsPerAddress = 64;

    // A direct client's connections are capped by default; behind a proxy
    // (--trust-forwarded-for) every connection is the proxy's, so it is not.
    unsigned connectionsPerAddress() const {
        return maxConnectionsPerAddress.value_or(trustForwardedFor ? 0 : kConnectionsPerAddress);
    }
    unsigned connectionTimeoutSec = 10;
    std::string publicUrl;           // the address users reach the service by, without a final '/'
    std::optional<HostPort> metrics; // no metrics listener without it

    bool tls() const { return !tlsCert.empty(); }
};

// The command line (without the program's name), its flags read from one table.
CommandLine<Options> parseOptions(const std::vector<std::string>& args);

} // namespace service
