#include "service/Options.h"

#include "service/store/DatabaseForm.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <functional>

namespace service {
namespace {

constexpr const char* kAbout =
    "Receives benchmark results at POST /api/submit and serves the leaderboard at /, the\n"
    "results as JSON at /api/scores and a health check at /healthz. Plain HTTP (without\n"
    "--tls-cert and --tls-key) is served on loopback only.";
constexpr const char* kFooter =
    "Operator commands on the same database: score-service admin --help\n"
    "Bad flags exit 1. Every flag in full: man score-service";

std::optional<int> portNumber(const std::string& text) {
    int value = 0;
    const auto* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && rest == end && value >= 0 && value <= 65535
               ? std::optional(value)
               : std::nullopt;
}

// HOST:PORT, with an IPv6 HOST in brackets.
HostPort hostPort(const std::string& flag, const std::string& text) {
    const auto colon = text.rfind(':');
    std::string host = colon == std::string::npos ? "" : text.substr(0, colon);
    if (host.size() > 1 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    const auto port =
        colon == std::string::npos ? std::nullopt : portNumber(text.substr(colon + 1));
    if (host.empty() || !port) {
        throw CLI::ValidationError(flag, "needs HOST:PORT with a port from 0 to 65535, got '" +
                                             text + "'");
    }
    return {host, *port};
}

// http(s)://HOST[/PATH], printable ASCII: the replies write "/r/ID" after it.
std::string publicUrl(const std::string& text) {
    const auto host = text.find("://") + 3;
    const bool scheme = text.starts_with("https://") || text.starts_with("http://");
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
        return c > ' ' && c < 0x7f && c != '?' && c != '#' && c != '"' && c != '\\';
    });
    if (!scheme || !plain || host >= text.size() || text[host] == '/') {
        throw CLI::ValidationError("--public-url", "needs an http:// or https:// address "
                                                   "without a query or fragment, got '" +
                                                       text + "'");
    }
    return text.substr(0, text.find_last_not_of('/') + 1);
}

// A HOST:PORT flag.
CLI::Option* address(CLI::App& app, const std::string& name,
                     const std::function<void(HostPort)>& set, const std::string& help) {
    return app
        .add_option_function<std::string>(
            name, [name, set](const std::string& v) { set(hostPort(name, v)); }, help)
        ->type_name("HOST:PORT");
}

// A whole number from `low` to `high`, its range said in its help as well as checked.
CLI::Option* ranged(CLI::Option* option, const char* value, long low, long high) {
    return option->type_name(value)
        ->check(CLI::Range(low, high).description(""))
        ->description(option->get_description() + ", " + std::to_string(low) + " to " +
                      std::to_string(high));
}

// The one table of the service's flags: name, value, range and help; the
// default is the member's own.
void addFlags(CLI::App& app, Options& o) {
    address(
        app, "--listen", [&o](HostPort a) { o.listen = std::move(a); },
        "address and port to listen on, IPv6 as [::1]:8443; port 0 picks a free one")
        ->default_str(o.listen.host + ":" + std::to_string(o.listen.port));
    address(
        app, "--metrics-listen", [&o](HostPort a) { o.metrics = std::move(a); },
        "serve Prometheus metrics at /metrics on this address of its own");
    auto* cert = app.add_option("--tls-cert", o.tlsCert, "PEM certificate chain: serves HTTPS")
                     ->type_name("FILE");
    cert->needs(app.add_option("--tls-key", o.tlsKey, "PEM private key of that certificate")
                    ->type_name("FILE")
                    ->needs(cert));
    app.add_option("--database", o.database,
                   "SQLite file, or PostgreSQL as a postgresql:// URL or libpq keywords; keep "
                   "its password in a libpq password file")
        ->type_name("PATH_OR_URL");
    ranged(app.add_option("--rate-limit", o.rateLimit.perMinute,
                          "submissions per minute per client address; 0 turns this and the "
                          "read limit off"),
           "PER_MINUTE", 0, 1000000);
    ranged(app.add_option("--rate-burst", o.rateLimit.burst, "submissions at once per address"),
           "N", 1, 1000000);
    app.add_option_function<std::string>(
           "--public-url", [&o](const std::string& v) { o.publicUrl = publicUrl(v); },
           "the address users reach the service by: replies give a result's page as URL/r/ID")
        ->type_name("URL");
    app.add_flag("--trust-forwarded-for", o.trustForwardedFor,
                 "take the client address from X-Forwarded-For; only behind your own proxy");
    ranged(app.add_option("--threads", o.threads, "threads that run requests"), "N", 1, 256);
    ranged(app.add_option("--max-connections", o.maxConnections, "open connections at most"), "N",
           1, 1000000);
    ranged(app.add_option_function<unsigned>(
               "--max-connections-per-address",
               [&o](unsigned v) { o.maxConnectionsPerAddress = v; },
               "open connections per client address, 0 for no limit"),
           "N", 0, 1000000)
        ->default_str(std::to_string(Options::kConnectionsPerAddress) +
                      "; 0 with --trust-forwarded-for");
    ranged(app.add_option("--connection-timeout", o.connectionTimeoutSec,
                          "seconds a connection may idle, a request take to arrive, and its "
                          "answer to be taken"),
           "SEC", 1, 3600);
}

} // namespace

CommandLine<Options> parseOptions(const std::vector<std::string>& args) {
    Options options;
    CLI::App app(kAbout, "score-service");
    describeFlags(app);
    app.footer(kFooter);
    app.set_version_flag("--version", "score-service " BENCHMARK_COMPANION_VERSION);
    addFlags(app, options);
    auto read = readFlags(app, args);
    if (auto* informed = std::get_if<Informed>(&read)) {
        return *informed;
    }
    if (auto* refused = std::get_if<Refused>(&read)) {
        return *refused;
    }
    if (const auto form = databaseForm(options.database);
        const auto* error = std::get_if<std::string>(&form)) {
        return Refused{*error};
    }
    return options;
}

} // namespace service
