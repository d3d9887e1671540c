#include "service/Options.h"

#include <gtest/gtest.h>

#include <functional>

namespace service {
namespace {

TEST(Options, EveryFlagFromOneTableWithItsDefaultRangeAndARefusalNamingIt) {
    using O = const Options&;
    // A command line, and what its refusal says or, when it is taken, what holds of it.
    // clang-format off
    const std::vector<std::tuple<std::vector<std::string>, std::string, std::function<bool(O)>>>
        cases = {
            {{}, "", [](O o) {
                 return o.listen.host == "127.0.0.1" && o.listen.port == 8443 && !o.metrics &&
                        o.database == "scores.sqlite3" && o.rateLimit.perMinute == 30 &&
                        o.threads == 16 && o.connectionsPerAddress() == 64 && !o.tls();
             }},
            {{"--listen=[::1]:0", "--metrics-listen", "127.0.0.1:9464"}, "",
             [](O o) { return o.listen.host == "::1" && !o.listen.port && o.metrics->port == 9464; }},
            {{"--trust-forwarded-for"}, "", [](O o) { return o.connectionsPerAddress() == 0; }},
            {{"--trust-forwarded-for", "--max-connections-per-address", "8"}, "",
             [](O o) { return o.connectionsPerAddress() == 8; }},
            {{"--threads", "4", "--threads", "8"}, "", [](O o) { return o.threads == 8; }},
            {{"--public-url", "https://skor.example.org//"}, "",
             [](O o) { return o.publicUrl == "https://skor.example.org"; }},
            {{"--rate-limit", "0"}, "", [](O o) { return o.rateLimit.perMinute == 0; }},
            {{"--bogus"}, "unknown option '--bogus'", {}},
            {{"--help", "stray"}, "unexpected argument 'stray'", {}},
            {{"--listen"}, "--listen: 1 required HOST:PORT missing", {}},
            {{"--listen", "127.0.0.1:70000"}, "--listen: needs HOST:PORT with a port from 0", {}},
            {{"--metrics-listen", "9464"}, "--metrics-listen: needs HOST:PORT", {}},
            {{"--threads", "0"}, "--threads: Value 0 not in range 1 to 256", {}},
            {{"--rate-burst", "1.5"}, "--rate-burst: Value 1.5 not in range", {}},
            {{"--tls-cert", "c.pem"}, "--tls-cert requires --tls-key", {}},
            {{"--public-url", "https://skor.example/?x=1"}, "--public-url: needs an http", {}},
            {{"--database", ":memory:"}, "--database :memory: gives each pooled connection", {}},
            {{"--trust-forwarded-for=no"}, "trust-forwarded-for was given a disallowed", {}},
        };
    // clang-format on
    for (const auto& [args, says, holds] : cases) {
        const auto parsed = parseOptions(args);
        const auto* refused = std::get_if<Refused>(&parsed);
        const auto* options = std::get_if<Options>(&parsed);
        EXPECT_TRUE(says.empty() ? options && holds(*options)
                                 : refused && refused->reason.find(says) != std::string::npos)
            << (args.empty() ? "" : args[0]) << ": " << (refused ? refused->reason : "");
    }
}

} // namespace
} // namespace service
