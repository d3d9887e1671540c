#include "model/BenchmarkViewModel.h"
#include "support/FakeRoot.h"
#include "support/MainQueue.h"

#include <gtest/gtest.h>

namespace {

// The system refuses the first run's thread: that run ends at once, idle and
// without a score, and the next one runs as usual.
TEST(ThreadStart, RefusedThreadEndsTheRunAndTheNextOneStillRuns) {
    testsupport::FakeRoot root;
    testsupport::MainQueue mainQueue;
    int attempts = 0;
    model::ViewModelSeams seams{.system = {root.path(), [] { return std::uint64_t{0}; }},
                                .endpoint = {"https://127.0.0.1:1", "", std::chrono::seconds(5)},
                                .workload = {.tasks = 2, .steps = 1000},
                                .postToMain = mainQueue.poster(),
                                .startThread = [&attempts](std::function<void()> work) {
                                    return attempts++ > 0 && model::startDetachedThread(work);
                                }};
    auto vm = model::BenchmarkViewModel::create(std::move(seams));

    vm->startBenchmark();
    EXPECT_FALSE(*vm->isRunning);
    EXPECT_EQ(*vm->status, model::kNotStartedStatus);
    EXPECT_FALSE(vm->score->has_value());

    vm->startBenchmark();
    ASSERT_TRUE(mainQueue.runUntil([&vm] { return !*vm->isRunning; }));
    EXPECT_TRUE(vm->score->has_value());
}

} // namespace
