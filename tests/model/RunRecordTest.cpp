#include "model/RunRecord.h"

#include <gtest/gtest.h>

namespace {

using model::makePayload;

struct ChipCase {
    const char* chipName;
    const char* expected;
};

class ChipTypeTest : public ::testing::TestWithParam<ChipCase> {};

TEST_P(ChipTypeTest, RemovesEveryVendorPrefixAndFallsBackOnlyWhenEmpty) {
    const auto payload = makePayload("Mac99,1", GetParam().chipName, 16, 1.0);
    EXPECT_EQ(payload.chip_type, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChipTypeTest,
    ::testing::Values(ChipCase{"Apple M1", "M1"}, ChipCase{"Apple M2 Pro", "M2 Pro"},
                      ChipCase{"Apple Apple M1", "M1"}, ChipCase{"Apple ", ""},
                      ChipCase{"AppleM1", "AppleM1"}, ChipCase{"apple M1", "apple M1"},
                      ChipCase{"AMD Ryzen 7 5800X", "AMD Ryzen 7 5800X"},
                      ChipCase{"AppleApple  M1", "Apple M1"}, ChipCase{"", "Apple Silicon"}));

TEST(RunRecordTest, DeviceAndMemoryFallbacksApplyOnlyToMissingFacts) {
    EXPECT_EQ(makePayload("", "x", 0, 1.0).device_name, "MacDevice");
    EXPECT_EQ(makePayload("   ", "x", 0, 1.0).device_name, "   ");
    EXPECT_EQ(makePayload("", "x", 0, 1.0).ram_gb, 8);
    EXPECT_EQ(makePayload("", "x", 16, 1.0).ram_gb, 16);
    EXPECT_EQ(makePayload("", "x", 1, 1.0).ram_gb, 1);
}

TEST(RunRecordTest, DerivesBothTimesFromTheUnroundedElapsedTime) {
    const auto payload = makePayload("d", "c", 16, 10.0);
    EXPECT_EQ(payload.xcode_build_sec, 35.0);
    EXPECT_EQ(payload.resin_slicer_sec, 15.0);
    EXPECT_EQ(payload.max_temp_c, 84);
    EXPECT_EQ(payload.swap_used_mb, 0);

    const double elapsed = 0.1234567891234;
    EXPECT_EQ(makePayload("d", "c", 16, elapsed).xcode_build_sec, elapsed * 3.5);
    EXPECT_EQ(makePayload("d", "c", 16, elapsed).resin_slicer_sec, elapsed * 1.5);
}

} // namespace
