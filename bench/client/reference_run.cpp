// The plain yardstick for the front ends: 24 children of 35,000,000 steps of the reference loop,
// on one plain thread per core, each taking the next child until none is left. Prints the
// seconds from before the threads start to after the last one ends.
//   build/bench/client/reference_run
#include "BenchStats.h"
#include "ReferenceLoop.h"
#include "model/VectorState.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

int main() {
    constexpr int kTasks = 24;
    constexpr std::int64_t kSteps = 35'000'000;
    const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
    std::atomic<int> next{0};
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < cores; ++t) {
        threads.emplace_back([&next] {
            while (next.fetch_add(1) < kTasks) {
                model::startWithCleanVectorState(); // as every child of a run does
                bench::keep(bench::referenceSum(kSteps));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::printf("%.6f\n", bench::secondsSince(start));
}
