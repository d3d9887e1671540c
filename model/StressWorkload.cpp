#include "model/StressWorkload.h"

#include "model/StrictFloatingPoint.h"
#include "model/VectorState.h"

#include <oneapi/tbb/task_group.h>

#include <atomic>
#include <chrono>
#include <cmath>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace model {
namespace {

// The sums are thrown away, which would let the compiler skip the square
// roots and additions and keep only an empty loop. Handing each sum to an
// opaque asm statement forces it to be computed in full.
inline void keepResult(double value) {
    asm volatile("" : : "r,m"(value) : "memory");
}

// oneTBB hands each task to a worker inside its uninstrumented library, where
// ThreadSanitizer cannot see the release and acquire that order the child's
// reads of what the spawning thread wrote. These tell it; in other builds
// they are nothing.
inline void handOver([[maybe_unused]] const void* what) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(const_cast<void*>(what));
#endif
}
inline void takeOver([[maybe_unused]] const void* what) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(const_cast<void*>(what));
#endif
}

// One child's timed work, from a clean vector state whatever thread runs it and whatever ran
// there before, front-end hooks included.
inline void runChild(std::int64_t steps) {
    startWithCleanVectorState();
    keepResult(stressSum(steps));
}

// Runs `size.tasks` children, each as `child(size.steps)`, on the worker pool from the calling
// thread, and returns the seconds between just before the group was created and just after
// every child finished (steady clock: a wall-clock change during the run must not bend the
// score).
template <class Child> double timeChildren(const WorkloadSize& size, const Child& child) {
    const auto start = std::chrono::steady_clock::now();
    {
        tbb::task_group group;
        handOver(&child);
        for (int k = 0; k < size.tasks; ++k) {
            group.run([steps = size.steps, &child] {
                takeOver(&child);
                child(steps);
            });
        }
        group.wait();
    }
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(end - start).count();
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
    // Nothing shared between the children, so the window's run has no atomics of its own.
    return timeChildren(size, [](std::int64_t steps) { runChild(steps); });
}

std::optional<double> runStressWorkload(const WorkloadSize& size, const RunHooks& hooks) {
    std::atomic<bool> skipped{false};
    const double seconds = timeChildren(size, [&hooks, &skipped](std::int64_t steps) {
        // Checked between children only: a running child is never cut short.
        if (hooks.stopRequested && hooks.stopRequested()) {
            skipped.store(true, std::memory_order_relaxed);
            return;
        }
        runChild(steps);
        if (hooks.childFinished) {
            hooks.childFinished();
        }
    });
    if (skipped.load(std::memory_order_relaxed)) {
        return std::nullopt;
    }
    return seconds;
}

} // namespace model
