// Time from the end of the task group to the outcome being posted, against a
// loopback HTTPS peer (the tests' peer.py), next to the bare exchange.
//   ctest --test-dir build-bench -R make_test_pki   # once: the peer's certificates
//   build-bench/bench/client/submission_latency [rounds]
#include "BenchStats.h"
#include "model/BenchmarkViewModel.h"
#include "model/RunRecord.h"
#include "submission/Payload.h"
#include "submission/Submission.h"
#include "support/Peer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Small enough that the run itself is a few milliseconds.
constexpr model::WorkloadSize kSmallRun{2, 1'000'000};

struct RunTiming {
    double outside = 0; // startBenchmark to the outcome handed to the poster, less the group
    double group = 0;   // the reported task-group interval
};

// One run of the real view model; the poster timestamps the hand-over of its one outcome.
RunTiming timedRun(const submission::Endpoint& endpoint) {
    std::promise<std::function<void()>> outcome;
    auto posted = outcome.get_future();
    Clock::time_point postedAt;
    model::ViewModelSeams seams;
    seams.endpoint = endpoint;
    seams.workload = kSmallRun;
    seams.postToMain = [&postedAt, &outcome](std::function<void()> item) {
        postedAt = Clock::now();
        outcome.set_value(std::move(item));
    };
    auto viewModel = model::BenchmarkViewModel::create(std::move(seams));
    const auto start = Clock::now();
    viewModel->startBenchmark();
    if (posted.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        std::fprintf(stderr, "no outcome within 30 s\n");
        std::exit(1);
    }
    posted.get()(); // as the window's event loop would
    const double group = viewModel->score->value_or(0) / submission::kBuildFactor;
    return {std::chrono::duration<double>(postedAt - start).count() - group, group};
}

void viaViewModel(const submission::Endpoint& endpoint, int rounds) {
    std::vector<double> outside, group;
    for (int r = 0; r < rounds; ++r) {
        const RunTiming timing = timedRun(endpoint);
        outside.push_back(timing.outside);
        group.push_back(timing.group);
    }
    std::printf("accepting server\n  first run: outside the group %.3f ms\n", outside[0] * 1e3);
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
    const testsupport::Peer peer("reply"); // it ends by itself after a minute: keep rounds few
    const submission::Endpoint endpoint{peer.url(), testsupport::Peer::caFile(),
                                        std::chrono::seconds(10)};
    bareExchange(endpoint, rounds);
    viaViewModel(endpoint, rounds);
    return 0;
}
