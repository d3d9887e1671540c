#include "service/Options.h"

#include <gtest/gtest.h>

#include <functional>

namespace service {
namespace {

TEST(Options, EveryFlagFromOneTableWithItsDefaultRangeAndARefusalNamingIt) {
    struct Case {
        std::vector<std::string> args;
        std::string says; // in the refusal or the text shown; empty: the options hold `holds`
        std::function<bool(const Options&)> holds = [](const Options&) { return true; };
    };
    const std::vector<Case> cases = {
        {{}, "", [](const Options& o) {
             return o.listen.host == "127.0.0.1" && o.listen.port == 8443 && !o.metrics &&
                    o.database == "scores.sqlite3" && o.rateLimit.perMinute == 30 &&
                    o.threads == 16 && o.connectionsPerAddress() == 64 && !o.tls();
         }},
        {{"--listen=[::1]:0", "--metrics-listen", "127.0.0.1:9464"}, "",
         [](const Options& o) {
             return o.listen.host == "::1" && o.listen.port == 0 && o.metrics->port == 9464;
         }},
        {{"--trust-forwarded-for"}, "", [](const Options& o) { return o.connectionsPerAddress() == 0; }},
        {{"--trust-forwarded-for", "--max-connections-per-address", "8"}, "",
         [](const Options& o) { return o.connectionsPerAddress() == 8; }},
        {{"--threads", "4", "--threads", "8"}, "", [](const Options& o) { return o.threads == 8; }},
        {{"--public-url", "https://skor.example.org//"}, "",
         [](const Options& o) { return o.publicUrl == "https://skor.example.org"; }},
        {{"--rate-limit", "0", "--rate-burst", "1"}, "",
         [](const Options& o) { return o.rateLimit.perMinute == 0 && o.rateLimit.burst == 1; }},
        {{"-h"}, "--connection-timeout SEC"},
        {{"--version"}, "score-service 0."},
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"--help", "stray"}, "unexpected argument 'stray'"},
        {{"--listen"}, "--listen: 1 required HOST:PORT missing"},
        {{"--listen", "127.0.0.1:70000"}, "--listen: needs HOST:PORT with a port from 0 to 65535"},
        {{"--metrics-listen", "9464"}, "--metrics-listen: needs HOST:PORT"},
        {{"--threads", "0"}, "--threads: Value 0 not in range 1 to 256"},
        {{"--rate-limit", "many"}, "--rate-limit: Value many not in range"},
        {{"--rate-burst", "1.5"}, "--rate-burst: Value 1.5 not in range"},
        {{"--connection-timeout", "3601"}, "--connection-timeout: Value 3601"},
        {{"--max-connections-per-address", "-1"}, "--max-connections-per-address: Value -1"},
        {{"--tls-cert", "c.pem"}, "--tls-cert requires --tls-key"},
        {{"--public-url", "https://skor.example/?x=1"}, "--public-url: needs an http"},
        {{"--public-url", "ftp://skor.example"}, "--public-url: needs an http"},
        {{"--database", ":memory:"}, "--database :memory: gives each pooled connection"},
        {{"--trust-forwarded-for=no"}, "trust-forwarded-for was given a disallowed"},
    };
    for (const auto& c : cases) {
        const auto parsed = parseOptions(c.args);
        const auto* refused = std::get_if<Refused>(&parsed);
        const auto* informed = std::get_if<Informed>(&parsed);
        const std::string said = refused ? refused->reason : informed ? informed->text : "";
        const auto* options = std::get_if<Options>(&parsed);
        const std::string first = c.args.empty() ? "" : c.args.front();
        EXPECT_TRUE(c.says.empty() ? options && c.holds(*options)
                                   : said.find(c.says) != std::string::npos)
            << first << ": " << said;
    }
}

} // namespace
} // namespace service
