// The run's record and its workload. The view model's runs are tested through the window
// (tests/ui), where its outcomes reach the real main thread.

#include "model/RunRecord.h"
#include "model/StressWorkload.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

namespace model {
namespace {

using submission::Payload;

TEST(RunRecord, FactorsFixedValuesAndFallbacks) {
    const double elapsed = 0.1234567891234, x = elapsed * 3.5, r = elapsed * 1.5; // not rounded
    const std::vector<std::tuple<std::string, std::string, std::int64_t, Payload>> cases = {
        {"Mac99,1", "Apple M2 Pro", 16, {"Mac99,1", "M2 Pro", 16, x, r, 84, 0}},
        {"", "", 0, {"MacDevice", "Apple Silicon", 8, x, r, 84, 0}},
        {"  ", "Apple Apple M1", 1, {"  ", "M1", 1, x, r, 84, 0}},
        {"d", "Apple ", 8, {"d", "", 8, x, r, 84, 0}},
        {"d", "AppleApple  M1", 8, {"d", "Apple M1", 8, x, r, 84, 0}},
        {"d", "apple M1 AppleM1", 8, {"d", "apple M1 AppleM1", 8, x, r, 84, 0}},
    };
    for (const auto& [device, chip, ram, expected] : cases) {
        EXPECT_EQ(makePayload(device, chip, ram, elapsed), expected) << device << "/" << chip;
    }
}

TEST(Workload, EachChildSumsEverySquareRoot) {
    // Euler-Maclaurin: a skipped or repeated step moves the sum by at least 1.
    const double n = 1e6;
    EXPECT_NEAR(stressSum(1'000'000), 2.0 / 3.0 * n * std::sqrt(n) - 0.5 * std::sqrt(n) - 0.2079,
                0.5);
}

} // namespace
} // namespace model
