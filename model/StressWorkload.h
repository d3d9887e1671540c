#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace model {

// How much work one run does. The product always uses the defaults; tests
// shrink it to keep the suite fast.
struct WorkloadSize {
    int tasks = 24;
    std::int64_t steps = 35'000'000;
};

// What a front end may attach to a run. Both are called from the workers,
// inside the timed interval, once per child, so they must be short and
// thread-safe; neither touches the kernel itself.
struct RunHooks {
    std::function<void()> childFinished; // after each child that ran
    std::function<bool()> stopRequested; // before each child; true skips it
};

// One child's work: the sum of sqrt(i) for i in [0, steps), added in order.
// Out of line and returning its sum, so the loop cannot be dropped or
// shortened by the optimiser; the benchmarks time this very function.
double stressSum(std::int64_t steps);

// Runs `size.tasks` children of `size.steps` steps on the TBB worker pool from
// the calling thread, and returns the seconds between just before the group
// was created and just after every child finished (steady clock).
double runStressWorkload(const WorkloadSize& size);

// The same run with hooks; nullopt when a stop request skipped any child, as
// the time of a partial run is no score.
std::optional<double> runStressWorkload(const WorkloadSize& size, const RunHooks& hooks);

} // namespace model
