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
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Small enough that the run itself is a few milliseconds.
constexpr model::WorkloadSize kSmallRun{2, 1'000'000};

struct RunTiming {
    double total = 0;   // startBenchmark to the outcome handed to the poster
    double group = 0;   // the reported task-group interval
    double outside = 0; // total - group: thread start, record, submission, posting
};

// The window's event loop, reduced to what one run needs.
struct MainQueue {
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<std::function<void()>> items;

    void post(std::function<void()> item) {
        const std::lock_guard lock(mutex);
        items.push_back(std::move(item));
        posted.notify_one();
    }
    bool runOne() {
        std::unique_lock lock(mutex);
        if (!posted.wait_for(lock, std::chrono::seconds(30), [this] { return !items.empty(); })) {
            return false;
        }
        auto item = std::move(items.front());
        items.pop_front();
        lock.unlock();
        item();
        return true;
    }
};

// One run of the real view model; the poster timestamps the hand-over.
RunTiming timedRun(const submission::Endpoint& endpoint) {
    MainQueue queue;
    Clock::time_point posted;
    model::ViewModelSeams seams;
    seams.endpoint = endpoint;
    seams.workload = kSmallRun;
    seams.postToMain = [&posted, &queue](std::function<void()> item) {
        posted = Clock::now();
        queue.post(std::move(item));
    };
    auto viewModel = model::BenchmarkViewModel::create(std::move(seams));
    const auto start = Clock::now();
    viewModel->startBenchmark();
    if (!queue.runOne() || *viewModel->isRunning) {
        std::fprintf(stderr, "no outcome within 30 s\n");
        std::exit(1);
    }
    RunTiming timing;
    timing.total = std::chrono::duration<double>(posted - start).count();
    timing.group = viewModel->score->value_or(0) / submission::kBuildFactor;
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
    const testsupport::Peer peer("reply"); // it ends by itself after a minute: keep rounds few
    const submission::Endpoint endpoint{peer.url(), testsupport::Peer::caFile(),
                                        std::chrono::seconds(10)};
    bareExchange(endpoint, rounds);
    viaViewModel("accepting server", endpoint, rounds);
    // A reply held back 300 ms must lengthen the wait for the outcome, not the score.
    const testsupport::Peer slow("hang", {"--hold", "0.3"});
    viaViewModel("server answering after 300 ms",
                 {slow.url(), testsupport::Peer::caFile(), std::chrono::seconds(10)}, 3);
    return 0;
}
