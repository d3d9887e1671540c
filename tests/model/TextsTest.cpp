#include "model/Texts.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

using namespace model::texts;

TEST(TextsTest, NumbersHaveNoGroupingAndOneDecimalWithAFullStopUnderEveryLocale) {
    // Under a locale with a decimal comma and digit grouping, as Turkish has.
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string restore = previous ? previous : "C";
    const bool turkish = std::setlocale(LC_ALL, "tr_TR.UTF-8") != nullptr;

    EXPECT_EQ(ramText(16), "16 GB");
    EXPECT_EQ(ramText(0), "0 GB");
    EXPECT_EQ(formatInteger(1234567), "1234567");
    EXPECT_EQ(scoreText(12.34), "12.3 Saniye");
    EXPECT_EQ(formatOneDecimal(7.06), "7.1");
    EXPECT_EQ(formatOneDecimal(0.0), "0.0");
    EXPECT_EQ(formatOneDecimal(100.0), "100.0");
    EXPECT_EQ(formatOneDecimal(0.25), "0.2"); // an exact tie rounds to even, as printf does
    EXPECT_EQ(formatOneDecimal(1e20), "100000000000000000000.0");

    std::setlocale(LC_ALL, restore.c_str());
    if (!turkish) {
        GTEST_SKIP() << "tr_TR.UTF-8 is not installed; checked under the C locale only";
    }
}

} // namespace
