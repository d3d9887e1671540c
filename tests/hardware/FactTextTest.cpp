#include "hardware/FactText.h"

#include "hardware/HardwareUtils.h"
#include "support/FakeRoot.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>

namespace {

using hardware::decodeFactText;
using namespace std::string_literals;

struct DecodeCase {
    const char* label;
    std::string bytes;
    std::string text;
};

void PrintTo(const DecodeCase& decodeCase, std::ostream* out) {
    *out << decodeCase.label;
}

class DecodeFactText : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeFactText, AppliesTheByteRules) {
    EXPECT_EQ(decodeFactText(GetParam().bytes), GetParam().text);
}

const std::string replacement = "\xEF\xBF\xBD";

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeFactText,
    testing::Values(DecodeCase{"TrailingLineFeed", "MacBookPro18,3\n", "MacBookPro18,3"},
                    DecodeCase{"TabsAndCarriageReturns", "\t\r\nApple M1\r\n\t", "Apple M1"},
                    DecodeCase{"OtherControls",
                               "\x07\x1B"
                               "chip\x7F\x01",
                               "chip"},
                    DecodeCase{"C1Control", "chip\xC2\x85", "chip"},
                    DecodeCase{"FormatCharacters",
                               "\xEF\xBB\xBF"
                               "chip\xE2\x80\x8B\xC2\xAD",
                               "chip"},
                    DecodeCase{"SpacesKept", "  chip \n", "  chip "},
                    DecodeCase{"InteriorControlsKept",
                               "a\tb\x01"
                               "c",
                               "a\tb\x01"
                               "c"},
                    DecodeCase{"CutAtFirstNul", "chip\0\0\0junk"s, "chip"},
                    DecodeCase{"ControlsBeforeNulTrimmed", "chip\n\0tail\n"s, "chip"},
                    DecodeCase{"LeadingNul", "\0chip"s, ""},
                    DecodeCase{"OnlyControls", "\n\t\r", ""}, DecodeCase{"Empty", "", ""},
                    DecodeCase{"NonAsciiKept", "İşlemci ✓ 🚀", "İşlemci ✓ 🚀"},
                    DecodeCase{"StrayByte",
                               "a\xFF"
                               "b",
                               "a" + replacement + "b"},
                    DecodeCase{"TruncatedSequenceIsOne", "abc\xF0\x9F\x98", "abc" + replacement},
                    DecodeCase{"BadContinuation", "\xC3(", replacement + "("},
                    DecodeCase{"EachIllFormedSequence", "\xFF\xFE", replacement + replacement},
                    DecodeCase{"SurrogateBytes", "\xED\xA0\x80",
                               replacement + replacement + replacement},
                    DecodeCase{"ReplacementNotTrimmed", "\n\xFF\n", replacement}),
    [](const auto& info) { return info.param.label; });

TEST(GetSysctl, UnknownNameIsEmptyEvenWhenFilesExist) {
    testsupport::FakeRoot root;
    root.write("sys/class/dmi/id/product_name", "Real Model\n");
    root.write("proc/cpuinfo", "processor\t: 0\nmodel name\t: Real CPU\n");
    const hardware::SystemProbe probe{root.path()};
    for (const char* name : {"hw.memsize", "hw.model.", "HW.MODEL", "", "kern.ostype"}) {
        EXPECT_EQ(hardware::HardwareUtils::getSysctl(name, probe), "") << name;
    }
}

TEST(GetSysctl, FileBytesGoThroughTheByteRules) {
    testsupport::FakeRoot root;
    root.write("sys/class/dmi/id/product_name", " Model\xFF \x1F\n\0stale\n"s);
    EXPECT_EQ(hardware::HardwareUtils::getSysctl("hw.model", {root.path()}),
              " Model" + replacement + " ");
}

TEST(RealSystem, FactsAreReadWithoutThrowing) {
    EXPECT_NO_THROW({
        (void)hardware::HardwareUtils::getSysctl("hw.model");
        (void)hardware::HardwareUtils::getSysctl("machdep.cpu.brand_string");
        EXPECT_GE(hardware::HardwareUtils::getRAM(), 0);
    });
}

} // namespace
