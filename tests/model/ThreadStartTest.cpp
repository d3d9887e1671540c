#include "model/BenchmarkViewModel.h"
#include "support/FakeRoot.h"

#include <gtest/gtest.h>

namespace {

// The system refuses the first run's thread: that run ends at once, idle and
// without a score, and the next start is a run as usual.
TEST(ThreadStart, RefusedThreadEndsTheRunAndTheNextOneStillRuns) {
    testsupport::FakeRoot root;
    std::function<void()> started;
    model::ViewModelSeams seams{.system = {root.path(), [] { return std::uint64_t{0}; }},
                                .endpoint = {"https://127.0.0.1:1", "", std::chrono::seconds(5)},
                                .workload = {.tasks = 2, .steps = 1000},
                                .postToMain = [](std::function<void()>) {},
                                .startThread = [&started](std::function<void()> work) {
                                    const bool refused = !started;
                                    started = refused ? [] {} : std::move(work);
                                    return !refused;
                                }};
    auto vm = model::BenchmarkViewModel::create(std::move(seams));

    vm->startBenchmark();
    EXPECT_FALSE(*vm->isRunning);
    EXPECT_EQ(*vm->status, model::kNotStartedStatus);
    EXPECT_FALSE(vm->score->has_value());

    vm->startBenchmark();
    EXPECT_TRUE(*vm->isRunning);
    EXPECT_NE(*vm->status, model::kNotStartedStatus);
}

} // namespace
