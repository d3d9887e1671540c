#pragma once

#include <cstdint>

namespace model {

// How much work one run does. The product always uses the defaults; tests
// shrink it to keep the suite fast.
struct WorkloadSize {
    int tasks = 24;
    std::int64_t steps = 35'000'000;
};

// One child's work: the sum of sqrt(i) for i in [0, steps), added in order.
// Out of line and returning its sum, so the loop cannot be dropped or
// shortened by the optimiser; the benchmarks time this very function.
double stressSum(std::int64_t steps);

// Runs `size.tasks` children of `size.steps` steps on the TBB worker pool from
// the calling thread, and returns the seconds between just before the group
// was created and just after every child finished (steady clock).
double runStressWorkload(const WorkloadSize& size);

} // namespace model
