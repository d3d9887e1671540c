// Time from the end of the task group to the outcome being posted, against a
// loopback HTTPS server, next to the bare exchange.
//   build-bench/bench/submission_latency [rounds]
#include "BenchStats.h"
#include "model/BenchmarkViewModel.h"
#include "model/RunRecord.h"
#include "submission/Submission.h"
#include "support/MainQueue.h"
#include "support/TlsTestServer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Small enough that the run itself is a few milliseconds.
constexpr model::WorkloadSize kSmallRun{2, 1'000'000};
constexpr double kBuildFactor = 3.5; // score = group seconds x this, in the record

struct RunTiming {
    double total = 0;   // startBenchmark to the outcome handed to the poster
    double group = 0;   // the reported task-group interval
    double outside = 0; // total - group: thread start, record, submission, posting
};

// One run of the real view model; the poster timestamps the hand-over.
RunTiming timedRun(const submission::Endpoint& endpoint) {
    testsupport::MainQueue queue;
    Clock::time_point posted;
    model::ViewModelSeams seams;
    seams.endpoint = endpoint;
    seams.workload = kSmallRun;
    seams.postToMain = [&posted, post = queue.poster()](std::function<void()> item) {
        posted = Clock::now();
        post(std::move(item));
    };
    auto viewModel = model::BenchmarkViewModel::create(std::move(seams));
    const auto start = Clock::now();
    viewModel->startBenchmark();
    if (!queue.runUntil([&] { return !*viewModel->isRunning; })) {
        std::fprintf(stderr, "no outcome within 30 s\n");
        std::exit(1);
    }
    RunTiming timing;
    timing.total = std::chrono::duration<double>(posted - start).count();
    timing.group = viewModel->score->value_or(0) / kBuildFactor;
    timing.outside = timing.total - timing.group;
    return timing;
}

void viaViewModel(const char* label, const submission::Endpoint& endpoint, int rounds) {
    std::vector<double> outside, group;
    for (int r = 0; r < rounds; ++r) {
        const RunTiming timing = timedRun(endpoint);
        outside.push_back(timing.outside);
        group.push_back(timing.group);
    }
    std::printf("%s\n", label);
    std::printf("  first run: outside the group %.3f ms\n", outside.front() * 1e3);
    bench::printSeries("  group end -> outcome posted", outside, 1e3, "ms");
    bench::printSeries("  reported group interval", group, 1e3, "ms");
}

void bareExchange(const submission::Endpoint& endpoint, int rounds) {
    const auto payload = model::makePayload("Bench", "Bench CPU", 16, 1.0);
    std::vector<double> seconds;
    for (int r = 0; r < rounds; ++r) {
        const auto start = Clock::now();
        const auto result = submission::submitPayload(endpoint, payload);
        seconds.push_back(bench::secondsSince(start));
        if (result.outcome != submission::Outcome::Accepted) {
            std::fprintf(stderr, "not accepted: %s\n", result.statusText.c_str());
        }
    }
    bench::printSeries("submitPayload alone", seconds, 1e3, "ms");
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    testsupport::TlsTestServer server;
    server.reply(200, R"({"success":true,"message":"ok"})");
    const submission::Endpoint endpoint{server.baseUrl(), server.caFile(),
                                        std::chrono::seconds(10)};
    bareExchange(endpoint, rounds);
    viaViewModel("accepting server", endpoint, rounds);
    // A reply held back 300 ms must lengthen the wait for the outcome, not the score.
    server.reply(200, R"({"success":true,"message":"ok"})", std::chrono::milliseconds(300));
    viaViewModel("server answering after 300 ms", endpoint, 3);
    return 0;
}
