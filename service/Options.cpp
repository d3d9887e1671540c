#include "service/Options.h"

#include "service/rules/Flags.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>

namespace service {
namespace {

std::optional<long> parseNumber(const std::string& text, long low, long high) {
    long value = 0;
    const auto* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || rest != end || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

// HOST:PORT, with an IPv6 HOST in brackets.
std::optional<std::string> parseListen(const std::string& text, Options& options) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return "--listen needs HOST:PORT, got '" + text + "'";
    }
    std::string host = text.substr(0, colon);
    if (host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    const auto port = parseNumber(text.substr(colon + 1), 0, 65535);
    if (host.empty() || !port) {
        return "--listen needs HOST:PORT with a port from 0 to 65535, got '" + text + "'";
    }
    options.host = host;
    options.port = static_cast<int>(*port);
    return std::nullopt;
}

// http(s)://HOST[/PATH], printable ASCII: the replies write "/r/ID" after it.
std::optional<std::string> parsePublicUrl(const std::string& text, Options& options) {
    const auto host = text.find("://") + 3;
    const bool scheme = text.starts_with("https://") || text.starts_with("http://");
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
        return c > ' ' && c < 0x7f && c != '?' && c != '#' && c != '"' && c != '\\';
    });
    if (!scheme || !plain || host >= text.size() || text[host] == '/') {
        return "--public-url needs an http:// or https:// address without a query or "
               "fragment, got '" +
               text + "'";
    }
    options.publicUrl = text.substr(0, text.find_last_not_of('/') + 1);
    return std::nullopt;
}

using Setter = std::function<std::optional<std::string>(const std::string&, Options&)>;

Setter number(const char* flag, long low, long high, std::function<void(Options&, long)> set) {
    return [flag, low, high, set = std::move(set)](const std::string& value,
                                                   Options& options) -> std::optional<std::string> {
        const auto parsed = parseNumber(value, low, high);
        if (!parsed) {
            return std::string(flag) + " needs a whole number from " + std::to_string(low) +
                   " to " + std::to_string(high) + ", got '" + value + "'";
        }
        set(options, *parsed);
        return std::nullopt;
    };
}

const std::map<std::string, Setter>& valueFlags() {
    static const std::map<std::string, Setter> flags = {
        {"--listen", parseListen},
        {"--metrics-listen",
         [](const std::string& v, Options& o) {
             Options parsed;
             const auto error = parseListen(v, parsed);
             o.metricsHost = parsed.host;
             o.metricsPort = parsed.port;
             return error ? std::optional("--metrics-" + error->substr(2)) : error;
         }},
        {"--tls-cert",
         [](const std::string& v, Options& o) {
             o.tlsCert = v;
             return std::optional<std::string>{};
         }},
        {"--tls-key",
         [](const std::string& v, Options& o) {
             o.tlsKey = v;
             return std::optional<std::string>{};
         }},
        {"--public-url", parsePublicUrl},
        {"--database",
         [](const std::string& v, Options& o) {
             o.database = v;
             return std::optional<std::string>{};
         }},
        {"--rate-limit",
         number("--rate-limit", 0, 1000000,
                [](Options& o, long v) { o.rateLimit.perMinute = static_cast<double>(v); })},
        {"--rate-burst",
         number("--rate-burst", 1, 1000000,
                [](Options& o, long v) { o.rateLimit.burst = static_cast<double>(v); })},
        {"--threads", number("--threads", 1, 256,
                             [](Options& o, long v) { o.threads = static_cast<unsigned>(v); })},
        {"--max-connections",
         number("--max-connections", 1, 1000000,
                [](Options& o, long v) { o.maxConnections = static_cast<unsigned>(v); })},
        {"--max-connections-per-address",
         number("--max-connections-per-address", 0, 1000000,
                [](Options& o, long v) { o.maxConnectionsPerAddress = static_cast<unsigned>(v); })},
        {"--connection-timeout",
         number("--connection-timeout", 1, 3600,
                [](Options& o, long v) { o.connectionTimeoutSec = static_cast<unsigned>(v); })},
    };
    return flags;
}

std::optional<std::string> applyFlag(const std::vector<std::string>& args, std::size_t& i,
                                     Options& options) {
    const auto flag =
        readFlag(args, i, [](const std::string& name) { return valueFlags().contains(name); });
    if ((flag.name == "--help" || flag.name == "-h" || flag.name == "--trust-forwarded-for") &&
        !flag.value) {
        (flag.name == "--trust-forwarded-for" ? options.trustForwardedFor : options.help) = true;
        return std::nullopt;
    }
    const auto it = valueFlags().find(flag.name);
    if (it == valueFlags().end()) {
        return "unknown option '" + flag.word + "'";
    }
    if (!flag.value) {
        return flag.name + " needs a value";
    }
    return it->second(*flag.value, options);
}

} // namespace

std::variant<Options, std::string> parseOptions(const std::vector<std::string>& args) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (auto error = applyFlag(args, i, options)) {
            return *error;
        }
    }
    if (options.tlsCert.empty() != options.tlsKey.empty()) {
        return std::string("--tls-cert and --tls-key go together: give both or neither");
    }
    if (const auto form = databaseForm(options.database);
        const auto* error = std::get_if<std::string>(&form)) {
        return *error;
    }
    return options;
}

std::string usage() {
    return R"(usage: score-service [options]

Receives benchmark results at POST /api/submit and serves the leaderboard at /,
the results as JSON at /api/scores?chip=&limit= and a health check at /healthz.

  --listen HOST:PORT        address to listen on (default 127.0.0.1:8443; port 0
                            picks a free one). The first line on standard output
                            is "listening on https://HOST:PORT" with the real port.
  --metrics-listen HOST:PORT
                            serve Prometheus metrics at /metrics on this
                            address of its own (default: not served); TLS and
                            the loopback rule as for --listen
  --tls-cert FILE           PEM certificate chain; serves HTTPS (TLS 1.2 or newer)
  --tls-key FILE            PEM private key of that certificate
                            Without both, plain HTTP, allowed on loopback only
                            (behind a reverse proxy).
  --database PATH_OR_URL    SQLite file (default scores.sqlite3), or PostgreSQL
                            as a postgresql:// URL or libpq keywords
                            ("host=db dbname=scores"); keep its password in
                            a libpq password file, not here
  --rate-limit PER_MINUTE   submissions per minute per client address, an
                            IPv6 address counting by its /64 (default 30;
                            0 turns this and the read limit off). Reads of
                            the page, /api/scores and /r/ID: 600 a minute,
                            120 at once
  --rate-burst N            submissions allowed at once per address (default 10)
  --public-url URL          the address users reach the service by, e.g.
                            https://skor.example.org: a reply then gives its
                            result's page as URL/r/ID, not the path alone
  --trust-forwarded-for     take the client address from X-Forwarded-For (its
                            last entry); only behind a proxy that sets it
  --threads N               threads for requests, which may wait on the
                            database (default 16); submissions waiting
                            together are committed together; up to 64 per
                            thread wait in a queue, and a request waiting
                            more than 5 s is answered 503
  --max-connections N       open connections at most (default 4096)
  --max-connections-per-address N
                            open connections per client address, an IPv6
                            address counting by its /64 (default 64; with
                            --trust-forwarded-for 0, no limit: every
                            connection comes from the proxy, which must cap
                            its clients itself)
  --connection-timeout SEC  close a connection idle this long (default 10);
                            also the time a request may take to arrive, and
                            its answer to be taken
  --help                    this text

Operator commands (list, show, approve, hide, restore, delete, export, backup)
on the same database: score-service admin --help
)";
}

} // namespace service
