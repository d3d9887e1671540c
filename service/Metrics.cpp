#include "service/Metrics.h"

#include "service/rules/Format.h"
#include "submission/PlainText.h"

namespace service {
namespace {

constexpr const char* kPrefix = "score_service_";

// By SubmissionOutcome, in its order.
constexpr std::array<const char*, 7> kOutcomeNames = {
    "accepted",  "held",        "rate_limited",        "not_json",
    "malformed", "implausible", "database_unavailable"};

// A family of one figure; one without a figure is left out.
struct Single {
    const char* name;
    const char* type;
    const char* help;
    std::optional<double> value;
    const char* labels = "";
};

std::string number(double value) {
    return submission::shortestText(value);
}

void family(std::string& out, const char* name, const char* type, const char* help) {
    append(out, "# HELP ", kPrefix, name, " ", help, "\n# TYPE ", kPrefix, name, " ", type, "\n");
}

void sample(std::string& out, const std::string& name, const std::string& labels,
            const std::string& value) {
    append(out, kPrefix, name, labels.empty() ? "" : "{" + labels + "}", " ", value, "\n");
}

} // namespace

void Metrics::request(std::string_view path, int status, std::chrono::microseconds duration) {
    const auto route = routeOf(path);
    const double seconds = static_cast<double>(duration.count()) / 1e6;
    const std::lock_guard lock(mutex_);
    ++requests_[{route, status}];
    auto& latency = latency_[route];
    std::size_t bucket = 0;
    while (bucket < kBuckets.size() && seconds > kBuckets[bucket]) {
        ++bucket;
    }
    if (bucket < kBuckets.size()) {
        ++latency.counts[bucket];
    }
    ++latency.count;
    latency.sum += seconds;
}

void Metrics::submission(SubmissionOutcome outcome) {
    const std::lock_guard lock(mutex_);
    ++submissions_[outcome];
}

void Metrics::databaseError() {
    const std::lock_guard lock(mutex_);
    ++databaseErrors_;
}

void Metrics::batch(std::size_t records, std::chrono::microseconds duration) {
    const std::lock_guard lock(mutex_);
    ++batches_.count;
    batches_.records += records;
    batches_.seconds += static_cast<double>(duration.count()) / 1e6;
}

void Metrics::renderLatency(std::string& out) const {
    family(out, "request_duration_seconds", "histogram", "Time from request to answer.");
    for (const auto& [route, latency] : latency_) {
        const std::string label = "route=\"" + std::string(route) + "\"";
        std::uint64_t cumulative = 0;
        for (std::size_t i = 0; i < kBuckets.size(); ++i) {
            cumulative += latency.counts[i];
            sample(out, "request_duration_seconds_bucket",
                   label + ",le=\"" + number(kBuckets[i]) + "\"", std::to_string(cumulative));
        }
        sample(out, "request_duration_seconds_bucket", label + ",le=\"+Inf\"",
               std::to_string(latency.count));
        sample(out, "request_duration_seconds_sum", label, number(latency.sum));
        sample(out, "request_duration_seconds_count", label, std::to_string(latency.count));
    }
}

void Metrics::renderCounts(std::string& out) const {
    family(out, "requests_total", "counter", "Answered requests by route and status.");
    for (const auto& [key, count] : requests_) {
        sample(out, "requests_total",
               "route=\"" + std::string(key.first) + "\",status=\"" + std::to_string(key.second) +
                   "\"",
               std::to_string(count));
    }
    renderLatency(out);
    family(out, "submissions_total", "counter",
           "Submissions by outcome: accepted, held for review, or refused with a reason.");
    // Every outcome from the start, so that a rate over the first refusal is not lost.
    for (auto outcome = SubmissionOutcome::accepted; outcome <= SubmissionOutcome::unavailable;
         outcome = static_cast<SubmissionOutcome>(static_cast<int>(outcome) + 1)) {
        const std::string name = kOutcomeNames.at(static_cast<std::size_t>(outcome));
        const auto found = submissions_.find(outcome);
        sample(out, "submissions_total",
               outcome <= SubmissionOutcome::held ? "outcome=\"" + name + "\""
                                                  : R"(outcome="refused",reason=")" + name + "\"",
               std::to_string(found == submissions_.end() ? 0 : found->second));
    }
}

std::string Metrics::render(const Gauges& gauges) const {
    const std::lock_guard lock(mutex_);
    std::string out;
    renderCounts(out);
    const auto figure = [](auto value) { return static_cast<double>(value); };
    const auto& board = gauges.board;
    const std::array<Single, 8> singles{{
        {"database_errors_total", "counter", "Failed database operations.",
         figure(databaseErrors_)},
        {"write_batches_total", "counter",
         "Committed write transactions, each holding the submissions that arrived together.",
         figure(batches_.count)},
        {"write_batch_records_total", "counter", "Submissions in committed write transactions.",
         figure(batches_.records)},
        {"write_batch_seconds_total", "counter",
         "Time spent in committed write transactions, from their first statement to the commit.",
         batches_.seconds},
        {"open_connections", "gauge", "Client connections open now.",
         figure(gauges.openConnections)},
        {"records", "gauge", "Results on the board; held and hidden ones are not counted.",
         board ? std::optional(figure(board->records)) : std::nullopt},
        {"held_records", "gauge", "Results held for review: the operator's queue.",
         board ? std::optional(figure(board->held)) : std::nullopt},
        {"build_info", "gauge", "The running build, as a series of constant 1.", 1.0,
         "version=\"" BENCHMARK_COMPANION_VERSION "\""},
    }};
    for (const auto& single : singles) {
        if (single.value) {
            family(out, single.name, single.type, single.help);
            sample(out, single.name, single.labels, number(*single.value));
        }
    }
    return out;
}

LastKnownCounts::~LastKnownCounts() {
    if (reader_.joinable()) { // nobody reads any more: no lock, which the reader takes
        reader_.join();
    }
}

std::optional<BoardCounts> LastKnownCounts::get() {
    std::unique_lock lock(mutex_);
    if (!reading_) {
        if (reader_.joinable()) {
            reader_.join(); // done: it cleared reading_ as it finished
        }
        reading_ = true;
        reader_ = std::thread([this] {
            const auto figure = source_();
            const std::lock_guard done(mutex_);
            last_ = figure ? figure : last_;
            reading_ = false;
            done_.notify_all();
        });
    }
    done_.wait_for(lock, patience_, [this] { return !reading_; });
    return last_;
}

std::string_view routeOf(std::string_view path) {
    for (const std::string_view route :
         {"/", "/api/submit", "/api/scores", "/healthz", "/processors", "/compare",
          "/api/processors", "/api/processor"}) {
        if (path == route) {
            return route;
        }
    }
    return path.starts_with("/r/") ? "/r/" : "other";
}

Response serveMetrics(const Request& request, const Metrics& metrics,
                      const std::function<Metrics::Gauges()>& gauges) {
    if (request.path != "/metrics") {
        return Response{404, "text/plain; charset=utf-8", "not found\n", {}, 0};
    }
    if (request.method != "GET" && request.method != "HEAD") {
        return Response{
            405, "text/plain; charset=utf-8", "GET only\n", {{"Allow", "GET, HEAD"}}, 0};
    }
    return Response{
        200, "text/plain; version=0.0.4; charset=utf-8", metrics.render(gauges()), {}, 0};
}

} // namespace service
