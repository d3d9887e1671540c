// score-service: receives benchmark results and serves the leaderboard.
#include "service/Handler.h"
#include "service/Log.h"
#include "service/Metrics.h"
#include "service/Options.h"
#include "service/PageCache.h"
#include "service/Process.h"
#include "service/admin/Admin.h"
#include "service/edge/HttpServer.h"
#include "service/edge/Tls.h"
#include "service/pages/LeaderboardPage.h"
#include "service/store/DatabaseForm.h"
#include "service/store/SqlScoreStore.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <unistd.h>

namespace {

using namespace service;

constexpr auto kGracePeriod = std::chrono::seconds(10);

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf())) {
        return std::nullopt;
    }
    return text.str();
}

// Plain HTTP leaves loopback never: results and scrapes would cross the network in clear.
std::optional<std::string> plainOffLoopback(const std::string& host, const std::string& what) {
    if (isLoopbackHost(host)) {
        return std::nullopt;
    }
    return "plain HTTP is served on loopback only; give --tls-cert and --tls-key to " + what + host;
}

// The server's settings from the options, or why they cannot work.
std::variant<ServerConfig, std::string> serverConfig(const Options& options) {
    ServerConfig config{options.listen.host,
                        options.listen.port,
                        "",
                        "",
                        options.threads,
                        options.maxConnections,
                        options.connectionsPerAddress(),
                        options.connectionTimeoutSec,
                        options.trustForwardedFor,
                        std::size_t{64} * options.threads};
    if (!options.tls()) {
        if (auto problem = plainOffLoopback(options.listen.host, "listen on ")) {
            return *problem;
        }
        return config;
    }
    const auto cert = readFile(options.tlsCert);
    const auto key = readFile(options.tlsKey);
    if (!cert || !key) {
        return "cannot read " + (cert ? options.tlsKey : options.tlsCert);
    }
    if (auto problem = tlsProblem(*cert, *key)) {
        return *problem;
    }
    config.certPem = *cert;
    config.keyPem = *key;
    return config;
}

int fail(const std::string& why) {
    std::cerr << "score-service: " << why << "\n";
    return 1;
}

std::string address(const std::string& host, bool tls, int port) {
    return std::string(tls ? "https://" : "http://") +
           (host.find(':') == std::string::npos ? host : "[" + host + "]") + ":" +
           std::to_string(port);
}

// The metrics listener, when asked for: the main server's settings on an
// address of its own, so the metrics need not be public.
std::variant<std::unique_ptr<HttpServer>, std::string>
startMetrics(const Options& options, ServerConfig config, const Metrics& metrics,
             std::function<Metrics::Gauges()> gauges) {
    if (auto problem = plainOffLoopback(options.metrics->host, "serve metrics on ");
        problem && config.certPem.empty()) {
        return *problem;
    }
    config.host = options.metrics->host;
    config.port = options.metrics->port;
    config.threads = 1; // the metrics never wait on the database
    return HttpServer::start(
        config,
        [&metrics, gauges = std::move(gauges)](const Request& request) {
            return serveMetrics(request, metrics, gauges);
        },
        [](const LogEntry&) {});
}

// After a stop signal: lets the requests under way finish, then writes no more.
void drain(HttpServer& server, ScoreStore& store, LineLog& errors) {
    server.stopAccepting();
    if (!server.waitUntilIdle(kGracePeriod)) {
        errors.report("requests still in flight after the grace period");
    }
    // Nobody can be answered now; a submission stored unanswered would come
    // again from its client.
    store.closeWrites();
}

int serveFrom(ScoreStore& store, Metrics& metrics, LineLog& errors, const Options& options,
              const ServerConfig& config, const sigset_t& stopSignals);

// Opens the log and the store, then serves.
int serve(const Options& options, const ServerConfig& config, const sigset_t& stopSignals) {
    const auto wallNow = [] { return std::chrono::system_clock::now(); };
    LineLog errors(STDERR_FILENO, wallNow); // failures, for the operator
    if (std::get<DatabaseForm>(databaseForm(options.database)).passwordInline) {
        errors.report("--database holds a password that every local user can read; keep it in "
                      "a libpq password file (PGPASSFILE) instead");
    }
    Metrics metrics;
    std::unique_ptr<ScoreStore> store;
    try {
        store = openStore(
            options.database,
            [&errors, &metrics](const std::string& e) {
                metrics.databaseError();
                errors.report(e);
            },
            [&metrics](std::size_t records, std::chrono::microseconds duration) {
                metrics.batch(records, duration);
            },
            [&errors](const std::string& e) { errors.reportWhole(e); });
    } catch (const std::exception& error) {
        return fail(cannotOpen(options.database) + ": " + error.what());
    }
    // Every processor's median read once before the first view needs it.
    store->leaderboard(std::nullopt, kPageRows, 0, kLeaderboardBins);
    return serveFrom(*store, metrics, errors, options, config, stopSignals);
}

// Serves from an open store until a stop signal, then lets requests finish.
int serveFrom(ScoreStore& store, Metrics& metrics, LineLog& errors, const Options& options,
              const ServerConfig& config, const sigset_t& stopSignals) {
    const auto wallNow = [] { return std::chrono::system_clock::now(); };
    const auto steadyNow = [] { return std::chrono::steady_clock::now(); };
    RateLimiter limiter(options.rateLimit);
    PageCache pages;
    ServiceContext context{store, limiter, wallNow, steadyNow, &metrics, options.publicUrl, &pages};
    LineLog log(STDOUT_FILENO, wallNow);
    auto started = HttpServer::start(
        config, [&context](const Request& request) { return handle(request, context); },
        [&log, &metrics](const LogEntry& entry) {
            metrics.request(entry.path, entry.status, entry.duration);
            log.write(formatLogLine(entry));
        },
        [&errors](const std::string& notice) { errors.report(notice); },
        [&context](const Request& request) { return answerAtOnce(request, context); });
    if (const auto* error = std::get_if<std::string>(&started)) {
        return fail(*error);
    }
    auto& server = *std::get<std::unique_ptr<HttpServer>>(started);
    log.write("listening on " + address(options.listen.host, options.tls(), server.port()));
    // A scrape waits a second at most for the database, not the 6 s of a request.
    LastKnownCounts counts([&store] { return store.counts(); }, std::chrono::seconds(1));
    std::unique_ptr<HttpServer> metricsServer;
    if (options.metrics) {
        auto metricsStarted = startMetrics(options, config, metrics, [&server, &counts] {
            return Metrics::Gauges{server.openConnections(), counts.get()};
        });
        if (const auto* error = std::get_if<std::string>(&metricsStarted)) {
            return fail(*error);
        }
        metricsServer = std::move(std::get<std::unique_ptr<HttpServer>>(metricsStarted));
        log.write("metrics on " +
                  address(options.metrics->host, options.tls(), metricsServer->port()) +
                  "/metrics");
    }
    waitForStop(stopSignals);
    drain(server, store, errors);
    return 0;
}

int run(int argc, char** argv) {
    if (argc > 1 && argv[1] == std::string("admin")) {
        return runAdmin(std::vector<std::string>(argv + 2, argv + argc), std::cout, std::cerr);
    }
    const auto parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (const auto* informed = std::get_if<Informed>(&parsed)) {
        std::cout << informed->text;
        return 0;
    }
    if (const auto* refused = std::get_if<Refused>(&parsed)) {
        return fail(refused->reason + " (see --help)");
    }
    const auto& options = std::get<Options>(parsed);
    const auto config = serverConfig(options);
    if (const auto* error = std::get_if<std::string>(&config)) {
        return fail(*error);
    }
    const sigset_t stopSignals = prepareProcess();
    return serve(options, std::get<ServerConfig>(config), stopSignals);
}

} // namespace

int main(int argc, char** argv) {
    // Start-up failures (an unusable database, say) arrive as exceptions; they
    // end the program with a message, never with an abort.
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        return fail(error.what());
    } catch (...) {
        return fail("unexpected failure");
    }
}
