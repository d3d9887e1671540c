#include "model/StressWorkload.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

namespace {

using model::stressSum;

TEST(StressWorkloadTest, SumsTheSquareRootsOfEveryStep) {
    EXPECT_EQ(stressSum(0), 0.0);
    EXPECT_EQ(stressSum(1), 0.0);
    EXPECT_EQ(stressSum(2), 1.0);
    EXPECT_DOUBLE_EQ(stressSum(4), 1.0 + std::sqrt(2.0) + std::sqrt(3.0));
    EXPECT_DOUBLE_EQ(stressSum(10), 19.30600052603572);

    // Euler-Maclaurin: the sum of sqrt(i) for i < n is
    // 2/3 n^1.5 - 1/2 n^0.5 + zeta(-1/2) + 1/24 n^-0.5 + ...; a skipped or
    // repeated step (other than i = 0) moves it by at least 1.
    const double n = 1'000'000.0;
    const double expected = 2.0 / 3.0 * n * std::sqrt(n) - 0.5 * std::sqrt(n) - 0.2078862249773545 +
                            1.0 / (24.0 * std::sqrt(n));
    EXPECT_NEAR(stressSum(1'000'000), expected, 0.5);
}

TEST(StressWorkloadTest, AGroupOfEmptyChildrenTakesNextToNoTime) {
    const double elapsed = model::runStressWorkload({.tasks = 24, .steps = 0});
    EXPECT_GE(elapsed, 0.0);
    EXPECT_LT(elapsed, 60.0);
}

TEST(StressWorkloadTest, HooksCountEveryChildAndAStopLeavesNoScore) {
    for (const bool stop : {false, true}) {
        std::atomic<int> finished{0};
        const auto elapsed = model::runStressWorkload(
            {.tasks = 24, .steps = 1000}, {[&] { ++finished; }, [stop] { return stop; }});
        EXPECT_EQ(elapsed.has_value(), !stop);
        EXPECT_EQ(finished, stop ? 0 : 24);
    }
}

// Reads the compiled kernel back: the optimiser must have kept a scalar
// square root and addition per step and no packed (vectorised) square roots.
std::string disassembleKernel() {
    const std::string command = std::string(OBJDUMP_EXECUTABLE) +
                                " -d -C --no-show-raw-insn \"" MODEL_LIBRARY_FILE "\" 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) {
        return {};
    }
    std::string all;
    char buffer[4096];
    while (const std::size_t n = fread(buffer, 1, sizeof buffer, pipe.get())) {
        all.append(buffer, n);
    }
    const auto begin = all.find("<model::stressSum(long)>:");
    if (begin == std::string::npos) {
        return {};
    }
    return all.substr(begin, all.find("\n\n", begin) - begin);
}

TEST(StressWorkloadTest, CompiledKernelKeepsScalarSquareRootAndAdd) {
#if !defined(__x86_64__)
    GTEST_SKIP() << "instruction names checked for x86-64 only";
#endif
    const std::string kernel = disassembleKernel();
    ASSERT_FALSE(kernel.empty()) << "stressSum not found in " MODEL_LIBRARY_FILE;
    EXPECT_NE(kernel.find("sqrtsd"), std::string::npos) << kernel;
    EXPECT_NE(kernel.find("addsd"), std::string::npos) << kernel;
    EXPECT_EQ(kernel.find("sqrtpd"), std::string::npos) << kernel;
}

} // namespace
