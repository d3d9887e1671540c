#include "ViewModelFixture.h"

#include <ctime>

namespace {

double cpuSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class FullRunTest : public modeltest::ViewModelFixture {};

// The real workload: 24 children of 35 million steps, about a second or two here.
TEST_F(FullRunTest, TheRealWorkloadRunsOffTheMainThreadAndIsScored) {
    server_.reply(200, R"({"message":"ok"})");
    auto vm = makeModel(model::WorkloadSize{});
    std::size_t announcements = 0;
    auto subscription = vm->objectWillChange.subscribe([&] { ++announcements; });

    const double mainBefore = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const double processBefore = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    vm->startBenchmark();
    EXPECT_EQ(announcements, 3u); // the running state is shown before any work is done
    ASSERT_TRUE(awaitOutcome(*vm));
    const double mainSpent = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - mainBefore;
    const double processSpent = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processBefore;

    EXPECT_EQ(*vm->status, "✅ ok");
    ASSERT_TRUE(vm->score->has_value());
    EXPECT_GT(**vm->score, 0.0);
    // Had a single child run on this thread, it would have spent a share of
    // the work's CPU time; waiting for the outcome costs next to nothing.
    EXPECT_LT(mainSpent, processSpent / 24.0) << "the workload ran on the main thread";
}

} // namespace
