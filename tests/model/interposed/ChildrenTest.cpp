// The real runStressWorkload, built shared from its own source, calls this file's stressSum
// (ELF interposition): each call is one child, its steps and the vector state it starts from.

#include "model/StressWorkload.h"

#include <gtest/gtest.h>

#include <atomic>
#include <tuple>
#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

std::atomic<int> children{0}, otherSteps{0}, dirtyChildren{0};

// XGETBV with ECX=1 (XINUSE) sets bit 2 (upper YMM 0-15) or 6 (upper ZMM 0-15) only while that
// state is not clean: a deterministic observation wherever the CPU offers it. Then dirties the
// state for whatever the thread runs next, as AVX code that ends without vzeroupper would.
// Other processors have no such state: never dirty.
bool wasDirtyAndDirty() {
#if defined(__x86_64__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__builtin_cpu_supports("avx") || !__get_cpuid_count(0xD, 1, &eax, &ebx, &ecx, &edx) ||
        (eax & 4U) == 0) {
        return false;
    }
    asm volatile("xgetbv\n\tvpcmpeqd %%ymm1, %%ymm1, %%ymm1"
                 : "=a"(eax), "=d"(edx)
                 : "c"(1)
                 : "xmm1");
    return (eax & 0x44U) != 0;
#else
    return false;
#endif
}

} // namespace

double model::stressSum(std::int64_t steps) {
    dirtyChildren += wasDirtyAndDirty() ? 1 : 0;
    children += 1;
    otherSteps += steps == 35'000'000 ? 0 : 1;
    return 0.0;
}

// The window's run, from a thread with dirty upper halves: the pool's new threads inherit them,
// and its old ones kept their own. Then a run stopped before its first child: no child, no score.
TEST(WorkloadChildren, TwentyFourCleanChildrenOfThirtyFiveMillionStepsOrNoneWhenStopped) {
    wasDirtyAndDirty();
    model::runStressWorkload({});
    EXPECT_EQ(std::tie(children, otherSteps, dirtyChildren), std::make_tuple(24, 0, 0));
    std::atomic<int> finished{0};
    EXPECT_FALSE(model::runStressWorkload({}, {[&finished] { ++finished; }, [] { return true; }}));
    EXPECT_EQ(std::tie(children, finished), std::make_tuple(24, 0));
}
