#include "hardware/HardwareUtils.h"
#include "hardware/MemorySize.h"
#include "support/FakeRoot.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace {

constexpr std::uint64_t gib = std::uint64_t{1} << 30;
constexpr const char* udevRecord = "run/udev/data/+dmi:id";

hardware::SystemProbe probeWith(const testsupport::FakeRoot& root, std::uint64_t sysconfBytes) {
    return {root.path(), [sysconfBytes] { return sysconfBytes; }};
}

// block_size_bytes as the kernel writes it, and one folder per block.
void writeBlocks(const testsupport::FakeRoot& root, const char* blockSize, int online,
                 int offline) {
    root.write("sys/devices/system/memory/block_size_bytes", std::string(blockSize) + "\n");
    root.write("sys/devices/system/memory/auto_online_blocks", "online\n");
    for (int block = 0; block < online + offline; ++block) {
        const auto folder = "sys/devices/system/memory/memory" + std::to_string(block);
        root.write(folder + "/online", block < online ? "1\n" : "0\n");
    }
}

TEST(ParseUdev, SumsEveryMemoryDeviceSize) {
    const auto record = "I:123\nE:MEMORY_ARRAY_NUM_DEVICES=4\n"
                        "E:MEMORY_DEVICE_0_SIZE=8589934592\n"
                        "E:MEMORY_DEVICE_0_SPEED_MTS=3200\n"
                        "E:MEMORY_DEVICE_1_PRESENT=0\n"
                        "E:MEMORY_DEVICE_2_SIZE=8589934592\r\n"
                        "E:MEMORY_DEVICE_10_SIZE=1073741824\n"
                        "E:MEMORY_ARRAY_MAX_CAPACITY=137438953472\n";
    EXPECT_EQ(hardware::parseUdevMemoryDeviceBytes(record), 17 * gib);
}

TEST(ParseUdev, UnusableRecordsAreUnreadable) {
    for (const char* record : {
             "",
             "E:MEMORY_ARRAY_NUM_DEVICES=2\n",
             "E:MEMORY_DEVICE_0_SIZE=0\n",
             "E:MEMORY_DEVICE_0_SIZE=lots\n",
             "E:MEMORY_DEVICE_X_SIZE=1073741824\n",
             // Would wrap a 64-bit sum back to a small figure.
             "E:MEMORY_DEVICE_0_SIZE=18446744073709551615\nE:MEMORY_DEVICE_1_SIZE=2147483649\n",
             "E:MEMORY_DEVICE_0_SIZE=99999999999999999999999\n",
             "E:MEMORY_DEVICE_0_SIZE=9223372036854775808\n",
         }) {
        EXPECT_EQ(hardware::parseUdevMemoryDeviceBytes(record), std::nullopt) << record;
    }
}

TEST(ParseUdev, RepeatedDeviceCountsOnce) {
    EXPECT_EQ(hardware::parseUdevMemoryDeviceBytes(
                  "E:MEMORY_DEVICE_0_SIZE=4294967296\nE:MEMORY_DEVICE_0_SIZE=4294967296\n"),
              4 * gib);
}

TEST(ParseMeminfo, MemTotalInKibibytes) {
    EXPECT_EQ(hardware::parseMemTotalBytes("MemFree: 1 kB\nMemTotal:       24683748 kB\n"),
              std::uint64_t{24683748} * 1024);
    for (const char* meminfo : {"", "MemTotal: 1024\n", "MemTotal: x kB\n", "MemFree: 8 kB\n",
                                "MemTotal: 18446744073709551615 kB\n"}) {
        EXPECT_EQ(hardware::parseMemTotalBytes(meminfo), std::nullopt) << meminfo;
    }
}

TEST(ParseBlockSize, Hexadecimal) {
    EXPECT_EQ(hardware::parseBlockSizeBytes("8000000\n"), std::uint64_t{0x8000000});
    EXPECT_EQ(hardware::parseBlockSizeBytes("0x80000000"), std::uint64_t{0x80000000});
    for (const char* text : {"", "0\n", "zz", "8000000 kB", "ffffffffffffffffff"}) {
        EXPECT_EQ(hardware::parseBlockSizeBytes(text), std::nullopt) << text;
    }
}

struct RamCase {
    const char* label;
    const char* udev;    // run/udev/data/+dmi:id, or nullptr
    int onlineBlocks;    // of 128 MiB each, with two more offline; none when negative
    const char* meminfo; // proc/meminfo, or nullptr
    std::uint64_t sysconfBytes;
    std::int64_t expected;
};

TEST(GetRAM, SourcesInOrder) {
    constexpr auto memTotal23 = "MemTotal:       24683748 kB\n";
    const RamCase cases[] = {
        {"udev first", "E:MEMORY_DEVICE_0_SIZE=17179869184\n", 8, nullptr, 4 * gib, 16},
        {"udev above floor", "E:MEMORY_DEVICE_0_SIZE=34359738368\n", 8, memTotal23, 0, 32},
        {"blocks without udev sizes", "E:MEMORY_ARRAY_NUM_DEVICES=2\n", 192, memTotal23, 0, 24},
        {"sysconf without online blocks", nullptr, 0, nullptr, 8 * gib, 8},
        {"sysconf 2^33", nullptr, -1, nullptr, gib << 3, 8},
        {"sysconf 2^33 - 1", nullptr, -1, nullptr, (gib << 3) - 1, 7},
        {"floor over a short DIMM list", "E:MEMORY_DEVICE_0_SIZE=4294967296\n", -1,
         "MemTotal:       16303428 kB\n", 0, 15},
        {"MemTotal alone", nullptr, -1, memTotal23, 0, 23},
        {"nothing", nullptr, -1, nullptr, 0, 0},
        {"absurd sysconf", nullptr, -1, nullptr, UINT64_MAX, 0},
    };
    for (const auto& ramCase : cases) {
        testsupport::FakeRoot root;
        if (ramCase.udev) {
            root.write(udevRecord, ramCase.udev);
        }
        if (ramCase.onlineBlocks >= 0) {
            writeBlocks(root, "8000000", ramCase.onlineBlocks, 2);
        }
        if (ramCase.meminfo) {
            root.write("proc/meminfo", ramCase.meminfo);
        }
        EXPECT_EQ(hardware::HardwareUtils::getRAM(probeWith(root, ramCase.sysconfBytes)),
                  ramCase.expected)
            << ramCase.label;
    }
}

TEST(GetRAM, AbsurdSumsFallThrough) {
    testsupport::FakeRoot root;
    root.write(udevRecord, "E:MEMORY_DEVICE_0_SIZE=18446744073709551615\n"
                           "E:MEMORY_DEVICE_1_SIZE=2\n");
    writeBlocks(root, "ffffffffffffffff", 2, 0);
    EXPECT_EQ(hardware::HardwareUtils::getRAM(probeWith(root, 2 * gib)), 2);
    EXPECT_EQ(hardware::HardwareUtils::getRAM({root.path(), nullptr}), 0);
}

} // namespace
