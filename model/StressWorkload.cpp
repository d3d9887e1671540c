#include "model/StressWorkload.h"

#include "model/StrictFloatingPoint.h"

#include <oneapi/tbb/task_group.h>

#include <atomic>
#include <chrono>
#include <cmath>

namespace model {
namespace {

// The sums are thrown away, which would let the compiler skip the square
// roots and additions and keep only an empty loop. Handing each sum to an
// opaque asm statement forces it to be computed in full.
inline void keepResult(double value) {
    asm volatile("" : : "r,m"(value) : "memory");
}

} // namespace

double stressSum(std::int64_t steps) {
    double sum = 0.0;
    for (std::int64_t i = 0; i < steps; ++i) {
        sum += std::sqrt(static_cast<double>(i));
    }
    return sum;
}

double runStressWorkload(const WorkloadSize& size) {
    return *runStressWorkload(size, RunHooks{});
}

std::optional<double> runStressWorkload(const WorkloadSize& size, const RunHooks& hooks) {
    std::atomic<bool> skipped{false};
    // A steady clock: a wall-clock change during the run must not bend the score.
    const auto start = std::chrono::steady_clock::now();
    {
        tbb::task_group group;
        for (int k = 0; k < size.tasks; ++k) {
            group.run([steps = size.steps, &hooks, &skipped] {
                // Checked between children only: a running child is never cut short.
                if (hooks.stopRequested && hooks.stopRequested()) {
                    skipped.store(true, std::memory_order_relaxed);
                    return;
                }
                keepResult(stressSum(steps));
                if (hooks.childFinished) {
                    hooks.childFinished();
                }
            });
        }
        group.wait();
    }
    const auto end = std::chrono::steady_clock::now();
    if (skipped.load(std::memory_order_relaxed)) {
        return std::nullopt;
    }
    return std::chrono::duration<double>(end - start).count();
}

} // namespace model
