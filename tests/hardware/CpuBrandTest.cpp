#include "hardware/ArmNames.h"
#include "hardware/CpuInfo.h"
#include "hardware/HardwareUtils.h"
#include "support/FakeRoot.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

const std::string x86CpuInfo = "processor\t: 0\nvendor_id\t: AuthenticAMD\n"
                               "model name\t: AMD EPYC\nflags\t\t: fpu vme\n\n"
                               "processor\t: 1\nmodel name\t: Other CPU\n\n";

const std::string arm64CpuInfo = "processor\t: 0\nBogoMIPS\t: 108.00\n"
                                 "CPU implementer\t: 0x41\nCPU architecture: 8\n"
                                 "CPU variant\t: 0x0\nCPU part\t: 0xd08\nCPU revision\t: 3\n\n"
                                 "processor\t: 1\nCPU implementer\t: 0x61\nCPU part\t: 0x023\n\n";

std::string brand(const testsupport::FakeRoot& root) {
    return hardware::HardwareUtils::getSysctl("machdep.cpu.brand_string", {root.path()});
}

TEST(ParseCpuInfo, ReadsOnlyTheFirstProcessor) {
    EXPECT_EQ(hardware::parseCpuInfo(x86CpuInfo).modelName, "AMD EPYC");
    // Without a blank line between blocks the next "processor" still ends the first.
    EXPECT_EQ(hardware::parseCpuInfo("processor : 0\nprocessor : 1\nmodel name : Late\n").modelName,
              "");

    const auto arm = hardware::parseCpuInfo(arm64CpuInfo);
    EXPECT_EQ(arm.modelName, "");
    EXPECT_EQ(arm.implementer, 0x41u);
    EXPECT_EQ(arm.part, 0xd08u);
}

TEST(ParseCpuInfo, ValueRulesAndOddInput) {
    EXPECT_EQ(hardware::parseCpuInfo("model name\t:  Spaced  \r\n").modelName, " Spaced  ");
    EXPECT_EQ(hardware::parseCpuInfo("model name\t: Bad\xFF\n").modelName, "Bad\xEF\xBF\xBD");
    EXPECT_EQ(hardware::parseCpuInfo("model name\t: Cut\0here\n"s).modelName, "Cut");

    const auto bad = hardware::parseCpuInfo("CPU implementer : 0x\nCPU part : 0xzz1\n");
    EXPECT_FALSE(bad.implementer);
    EXPECT_FALSE(bad.part);
    for (const char* junk : {"", ":", "\n\n\n", "no colon here", ":::\n:x", "processor"}) {
        EXPECT_EQ(hardware::parseCpuInfo(junk).modelName, "") << junk;
    }
}

TEST(ArmNames, CoreCodes) {
    EXPECT_EQ(hardware::armCoreName(0x41, 0xd08), "ARM Cortex-A72");
    EXPECT_EQ(hardware::armCoreName(0x41, 0xd0c), "ARM Neoverse N1");
    EXPECT_EQ(hardware::armCoreName(0x41, 0xd4f), "ARM Neoverse V2");
    EXPECT_EQ(hardware::armCoreName(0x61, 0x023), "Apple M1");
    EXPECT_EQ(hardware::armCoreName(0x41, 0xfff), "");
    EXPECT_EQ(hardware::armCoreName(0x61, 0xd08), "");
}

TEST(ArmNames, SocFromCompatible) {
    struct Case {
        std::string compatible;
        std::string soc;
    };
    for (const auto& [compatible, soc] : {
             Case{"raspberrypi,4-model-b\0brcm,bcm2711\0"s, "Broadcom BCM2711"},
             Case{"radxa,rock-5b\0rockchip,rk3588\0"s, "Rockchip RK3588"},
             Case{"apple,j274\0apple,t8103\0apple,arm-platform\0"s, "Apple T8103"},
             Case{"board,x\0unknownvendor,chip9\0qcom,sm8250\0"s, "Qualcomm SM8250"},
             Case{"brcm,bcm2711\0"s, ""},            // the board's own entry is no SoC
             Case{"board,x\0nocomma\0brcm,\0"s, ""}, // malformed entries
             Case{""s, ""},
         }) {
        EXPECT_EQ(hardware::socNameFromCompatible(compatible), soc);
    }
}

TEST(CpuBrand, ModelNameWinsOverEverythingElse) {
    testsupport::FakeRoot root;
    root.write("proc/cpuinfo", x86CpuInfo);
    root.write("proc/device-tree/compatible", "raspberrypi,4-model-b\0brcm,bcm2711\0"s);
    EXPECT_EQ(brand(root), "AMD EPYC");
}

TEST(CpuBrand, Arm64PrefersTheSocThenTheCore) {
    testsupport::FakeRoot root;
    root.write("proc/cpuinfo", arm64CpuInfo);
    EXPECT_EQ(brand(root), "ARM Cortex-A72");

    root.write("proc/device-tree/compatible", "vendor,board\0unknown,soc\0"s);
    EXPECT_EQ(brand(root), "ARM Cortex-A72");

    root.write("proc/device-tree/compatible", "raspberrypi,4-model-b\0brcm,bcm2711\0"s);
    EXPECT_EQ(brand(root), "Broadcom BCM2711");
}

TEST(CpuBrand, EmptyWhenNothingIsKnown) {
    testsupport::FakeRoot root;
    EXPECT_EQ(brand(root), "");
    root.write("proc/cpuinfo", "processor\t: 0\nCPU implementer\t: 0x41\nCPU part\t: 0xfff\n");
    EXPECT_EQ(brand(root), "");
}

} // namespace
