// The real runStressWorkload, from a shared build of its own source, calls this file's
// stressSum instead of its own (ELF interposition): each call is one child and its steps.

#include "model/StressWorkload.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

namespace {

std::mutex mutex;
std::vector<std::int64_t> children;

} // namespace

double model::stressSum(std::int64_t steps) {
    const std::lock_guard lock(mutex);
    children.push_back(steps);
    return 0.0;
}

TEST(WorkloadChildren, TwentyFourOfThirtyFiveMillionStepsEach) {
    model::runStressWorkload(model::WorkloadSize{});
    EXPECT_EQ(children, std::vector<std::int64_t>(24, 35'000'000));
}
