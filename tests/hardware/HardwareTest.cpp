#include "hardware/HardwareUtils.h"
#include "support/FakeRoot.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;
using hardware::HardwareUtils;

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
const std::string kBad = "\xEF\xBF\xBD"; // U+FFFD, for each ill-formed sequence

TEST(GetSysctl, ModelFromDmiProductThenBoardThenDeviceTreeSkippingPlaceholders) {
    const std::vector<std::vector<std::string>> cases = {
        // product, board, device tree, model
        {"20XW0055GE\n", "B\n", "Pi\0"s, "20XW0055GE"},
        {"To be filled by O.E.M.\n", "X570\n", "", "X570"},
        {"System Product Name", "Default string\n", "Raspberry Pi 4\0"s, "Raspberry Pi 4"},
        {"None\n", "  \n", "", ""},
        // The bytes before a NUL, as UTF-8, trimmed of controls and format characters.
        {"\t\r\a\x1B chip \x7F\u0085", "", "", " chip "},
        {"\uFEFFİşlemci 🚀\u200B\u00AD", "", "", "İşlemci 🚀"},
        {"a\tb\001c\n\0junk"s, "", "", "a\tb\001c"},
        {"\n\377a\377b\360\237\230\n", "", "", kBad + "a" + kBad + "b" + kBad},
    };
    for (const auto& c : cases) {
        const testsupport::FakeRoot root{{"sys/class/dmi/id/product_name", c[0]},
                                         {"sys/class/dmi/id/board_name", c[1]},
                                         {"proc/device-tree/model", c[2]}};
        EXPECT_EQ(HardwareUtils::getSysctl("hw.model", {root.path()}), c[3]) << c[0];
        EXPECT_EQ(HardwareUtils::getSysctl("HW.MODEL", {root.path()}), "");
    }
}

TEST(GetSysctl, BrandFromCpuinfoThenSocThenCore) {
    const std::string armCpu = "processor\t: 0\nCPU implementer\t: 0x41\nCPU part\t: 0xd08\n\n";
    const std::string pi = "raspberrypi,4-model-b\0brcm,bcm2711\0"s;
    const std::vector<std::vector<std::string>> cases = {
        {"processor\t: 0\nmodel name\t: AMD EPYC\n\nmodel name\t: Other\n", pi, "AMD EPYC"},
        {"processor\t: 0\nCPU implementer\t: 0x61\nCPU part\t: 0x048\n", "", "Apple M3 Max"},
        {"processor\t: 0\nCPU implementer\t: 0x41\nCPU part\t: 0xd85\n", "", "ARM Cortex-X925"},
        {armCpu, "apple,j416c\0apple,t6021\0apple,arm-platform\0"s, "Apple M2 Max"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        const testsupport::FakeRoot root{{"proc/cpuinfo", c[0]},
                                         {"proc/device-tree/compatible", c[1]}};
        EXPECT_EQ(HardwareUtils::getSysctl("machdep.cpu.brand_string", {root.path()}), c[2]);
    }
}

// Each machine folder holds what that machine's kernel publishes; no sysconf figure, so the
// memory is what the files say. 8 GB machines show 7: MemTotal, rounded down, is all they tell.
TEST(ArmMachines, TheWindowsThreeFacts) {
    const std::vector<std::vector<std::string>> cases = {
        // folder, model, processor, memory in GiB
        {"apple-m1-macbook-air", "Apple MacBook Air (M1, 2020)", "Apple M1", "7"},
        {"raspberry-pi-5", "Raspberry Pi 5 Model B Rev 1.0", "Broadcom BCM2712", "7"},
        {"aws-graviton2-m6g", "m6g.xlarge", "ARM Neoverse N1", "15"},
        {"snapdragon-x-elite-vivobook-s15", "ASUS Vivobook S 15", "Qualcomm X1E80100", "31"},
    };
    for (const auto& c : cases) {
        const hardware::SystemProbe probe{std::string(MACHINES_DIR) + "/" + c[0], [] { return 0; }};
        EXPECT_EQ(HardwareUtils::getSysctl("hw.model", probe), c[1]);
        EXPECT_EQ(HardwareUtils::getSysctl("machdep.cpu.brand_string", probe), c[2]);
        EXPECT_EQ(std::to_string(HardwareUtils::getRAM(probe)), c[3]) << c[0];
    }
}

TEST(GetRAM, DimmsThenOnlineBlocksThenSysconfNeverBelowMemTotal) {
    const std::string memTotal23 = "MemFree: 1 kB\nMemTotal:       24683748 kB\n";
    const std::string dimm4 = "E:MEMORY_DEVICE_0_SIZE=4294967296\n";
    // The udev record, the block size, meminfo, sysconf's figure and the GiB expected.
    const std::tuple<std::string, std::string, std::string, std::uint64_t, std::int64_t> cases[] = {
        {dimm4 + "E:MEMORY_DEVICE_0_SPEED_MTS=3200\nE:MEMORY_DEVICE_10_SIZE=8589934592\r\n", "", "",
         kGiB, 12},
        {dimm4 + dimm4, "", "", 0, 4},   // a repeated DIMM counts once
        {"", "40000000\n", "", kGiB, 2}, // two of three 1 GiB blocks online
        {"", "", "", (8 * kGiB) - 1, 7}, // truncated
        {dimm4, "", memTotal23, 0, 23},  // a short DIMM list
        {"", "", memTotal23, 2 * kGiB, 23},
        {"E:MEMORY_DEVICE_0_SIZE=18446744073709551615\nE:MEMORY_DEVICE_1_SIZE=2\n", "", "",
         2 * kGiB, 2},               // a wrapping sum is no figure
        {"", "", "", UINT64_MAX, 0}, // nor an absurd one
    };
    const std::string blocks = "sys/devices/system/memory/"; // 0 and 1 online, 2 offline
    for (const auto& [udev, blockSize, meminfo, sysconf, expected] : cases) {
        const testsupport::FakeRoot root{
            {"run/udev/data/+dmi:id", udev},    {blocks + "block_size_bytes", blockSize},
            {"proc/meminfo", meminfo},          {blocks + "memory0/online", "1\n"},
            {blocks + "memory1/online", "1\n"}, {blocks + "memory2/online", "0\n"}};
        const hardware::SystemProbe probe{root.path(), [sysconf = sysconf] { return sysconf; }};
        EXPECT_EQ(HardwareUtils::getRAM(probe), expected) << udev << meminfo << sysconf;
    }
}

} // namespace
