// The three facts read from a fake /sys and /proc: which source wins, and how bytes become text.

#include "hardware/FactText.h"
#include "hardware/HardwareUtils.h"
#include "support/FakeRoot.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

namespace {

using namespace std::string_literals;
using hardware::HardwareUtils;
using Files = std::map<std::string, std::string>;

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
const std::string kReplacement = "\xEF\xBF\xBD";
const std::string kDmi = "sys/class/dmi/id/";
const std::string kUdev = "run/udev/data/+dmi:id";
const std::string kArmCpu = "processor\t: 0\nCPU implementer\t: 0x41\nCPU part\t: 0xd08\n\n";
const std::string kPiTree = "raspberrypi,4-model-b\0brcm,bcm2711\0"s;

void writeAll(const testsupport::FakeRoot& root, const Files& files) {
    for (const auto& [path, bytes] : files) {
        root.write(path, bytes);
    }
}

TEST(FactText, KeepsTheTextBetweenTrimmedControls) {
    const std::map<std::string, std::string> cases = {
        {"MacBookPro18,3\n", "MacBookPro18,3"},
        {"\t\r\x07\x1B chip \x7F\xC2\x85", " chip "}, // controls go, spaces stay
        {"\xEF\xBB\xBF"
         "chip\xE2\x80\x8B\xC2\xAD",
         "chip"}, // format characters too
        {"a\tb\x01"
         "c",
         "a\tb\x01"
         "c"}, // but only at the ends
        {"chip\n\0junk"s, "chip"},
        {"\0chip"s, ""},
        {"İşlemci 🚀", "İşlemci 🚀"},
        {"a\xFF"
         "b\xF0\x9F\x98",
         "a" + kReplacement + "b" + kReplacement},
        {"\n\xFF\n", kReplacement},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(hardware::decodeFactText(bytes), text) << bytes;
    }
}

struct FactCase {
    std::string name;
    Files files;
    std::string expected;
};

TEST(GetSysctl, TakesTheFirstUsableSource) {
    const std::string brand = "machdep.cpu.brand_string";
    const FactCase cases[] = {
        {"hw.model",
         {{kDmi + "product_name", "20XW0055GE\n"}, {kDmi + "board_name", "B\n"}},
         "20XW0055GE"},
        // Firmware placeholders are no model.
        {"hw.model",
         {{kDmi + "product_name", "To be filled by O.E.M.\n"}, {kDmi + "board_name", "X570\n"}},
         "X570"},
        {"hw.model",
         {{kDmi + "product_name", "System Product Name"},
          {kDmi + "board_name", "Default string\n"},
          {"proc/device-tree/model", "Raspberry Pi 4 Model B\0"s}},
         "Raspberry Pi 4 Model B"},
        {"hw.model", {{kDmi + "product_name", "None\n"}, {kDmi + "board_name", "  \n"}}, ""},
        {"hw.model", {{kDmi + "product_name", " M\xFF \x1F\n"}}, " M" + kReplacement + " "},
        {brand,
         {{"proc/cpuinfo", "processor\t: 0\nmodel name\t: AMD EPYC\n\nmodel name\t: Other\n"},
          {"proc/device-tree/compatible", kPiTree}},
         "AMD EPYC"},
        {brand,
         {{"proc/cpuinfo", kArmCpu}, {"proc/device-tree/compatible", kPiTree}},
         "Broadcom BCM2711"},
        {brand, {{"proc/cpuinfo", kArmCpu}}, "ARM Cortex-A72"},
        {brand, {}, ""},
        {"hw.memsize", {{kDmi + "product_name", "Model\n"}}, ""},
        {"HW.MODEL", {{kDmi + "product_name", "Model\n"}}, ""},
    };
    for (const auto& c : cases) {
        testsupport::FakeRoot root;
        writeAll(root, c.files);
        EXPECT_EQ(HardwareUtils::getSysctl(c.name, {root.path()}), c.expected)
            << c.name << " from " << (c.files.empty() ? "nothing" : c.files.begin()->second);
    }
}

struct RamCase {
    const char* label;
    Files files;
    std::uint64_t sysconfBytes;
    std::int64_t expected;
};

TEST(GetRAM, InstalledMemoryNeverBelowMemTotal) {
    const std::string memTotal23 = "MemFree: 1 kB\nMemTotal:       24683748 kB\n";
    const std::string blocks = "sys/devices/system/memory/";
    const RamCase cases[] = {
        {"DIMMs first",
         {{kUdev, "E:MEMORY_DEVICE_0_SIZE=8589934592\nE:MEMORY_DEVICE_0_SPEED_MTS=3200\n"
                  "E:MEMORY_DEVICE_10_SIZE=8589934592\r\n"}},
         4 * kGiB,
         16},
        {"a repeated DIMM counts once",
         {{kUdev, "E:MEMORY_DEVICE_0_SIZE=4294967296\nE:MEMORY_DEVICE_0_SIZE=4294967296\n"}},
         0,
         4},
        {"online blocks",
         {{blocks + "block_size_bytes", "40000000\n"},
          {blocks + "memory0/online", "1\n"},
          {blocks + "memory1/online", "1\n"},
          {blocks + "memory2/online", "0\n"}},
         0,
         2},
        {"sysconf, truncated", {}, (8 * kGiB) - 1, 7},
        {"MemTotal over a short DIMM list",
         {{kUdev, "E:MEMORY_DEVICE_0_SIZE=4294967296\n"}, {"proc/meminfo", memTotal23}},
         0,
         23},
        {"MemTotal over sysconf", {{"proc/meminfo", memTotal23}}, 2 * kGiB, 23},
        {"a wrapping DIMM sum is no figure",
         {{kUdev, "E:MEMORY_DEVICE_0_SIZE=18446744073709551615\nE:MEMORY_DEVICE_1_SIZE=2\n"}},
         2 * kGiB,
         2},
        {"an absurd sysconf is no figure", {}, UINT64_MAX, 0},
        {"nothing", {}, 0, 0},
    };
    for (const auto& c : cases) {
        testsupport::FakeRoot root;
        writeAll(root, c.files);
        const hardware::SystemProbe probe{root.path(), [&c] { return c.sysconfBytes; }};
        EXPECT_EQ(HardwareUtils::getRAM(probe), c.expected) << c.label;
    }
}

TEST(RealSystem, FactsAreReadWithoutThrowing) {
    EXPECT_NO_THROW(HardwareUtils::getSysctl("hw.model"));
    EXPECT_GT(HardwareUtils::getRAM(), 0);
}

} // namespace
