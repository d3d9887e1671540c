#include "hardware/DeviceModel.h"

#include "hardware/HardwareUtils.h"
#include "support/FakeRoot.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using namespace std::string_literals;

TEST(FirmwarePlaceholder, StockTextsAreRecognisedLoosely) {
    for (const char* text : {"To be filled by O.E.M.", "TO BE FILLED BY O.E.M.",
                             "  System Product Name  ", "Default string", "All Series",
                             "Not Applicable", "not specified", "None", "O.E.M.", "", "   "}) {
        EXPECT_TRUE(hardware::isFirmwarePlaceholder(text)) << '"' << text << '"';
    }
    for (const char* text : {"ThinkPad X1 Carbon", "Nonesuch", "System Product Name 2",
                             "To be filled", "OptiPlex 7090"}) {
        EXPECT_FALSE(hardware::isFirmwarePlaceholder(text)) << '"' << text << '"';
    }
}

struct ModelCase {
    const char* label;
    std::optional<std::string> product; // sys/class/dmi/id/product_name
    std::optional<std::string> board;   // sys/class/dmi/id/board_name
    std::optional<std::string> tree;    // proc/device-tree/model
    std::string expected;
};

TEST(HardwareModel, SourcesInOrder) {
    const std::string pi = "Raspberry Pi 4 Model B Rev 1.1\0"s;
    const ModelCase cases[] = {
        {"product first", "20XW0055GE\n", "Board\n", pi, "20XW0055GE"},
        {"placeholder product", "System Product Name\n", "PRIME B450M-A\n", pi, "PRIME B450M-A"},
        {"missing product", std::nullopt, "X570 AORUS ELITE\n", pi, "X570 AORUS ELITE"},
        {"blank product", " \n", "X570 AORUS ELITE\n", pi, "X570 AORUS ELITE"},
        {"both placeholders", "To Be Filled By O.E.M.\n", "Default string\n", pi,
         "Raspberry Pi 4 Model B Rev 1.1"},
        {"device tree alone", std::nullopt, std::nullopt, "Radxa ROCK 5B\0\0"s, "Radxa ROCK 5B"},
        {"placeholders only", "None\n", "Not Specified\n", std::nullopt, ""},
        {"nothing", std::nullopt, std::nullopt, std::nullopt, ""},
    };
    for (const auto& modelCase : cases) {
        testsupport::FakeRoot root;
        const auto put = [&](const char* path, const std::optional<std::string>& bytes) {
            if (bytes) {
                root.write(path, *bytes);
            }
        };
        put("sys/class/dmi/id/product_name", modelCase.product);
        put("sys/class/dmi/id/board_name", modelCase.board);
        put("proc/device-tree/model", modelCase.tree);
        EXPECT_EQ(hardware::HardwareUtils::getSysctl("hw.model", {root.path()}), modelCase.expected)
            << modelCase.label;
    }
}

TEST(HardwareModel, FolderInPlaceOfFileIsUnreadable) {
    testsupport::FakeRoot root;
    root.makeDirectory("sys/class/dmi/id/product_name");
    root.write("sys/class/dmi/id/board_name", "Board\n");
    EXPECT_EQ(hardware::HardwareUtils::getSysctl("hw.model", {root.path()}), "Board");
}

} // namespace
