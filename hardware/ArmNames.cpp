#include "hardware/ArmNames.h"

#include "hardware/FactText.h"

#include <array>

namespace hardware {
namespace {

struct Core {
    std::uint32_t implementer;
    std::uint32_t part;
    std::string_view name;
};

constexpr std::array cores{
    Core{0x41, 0xd03, "ARM Cortex-A53"},   Core{0x41, 0xd04, "ARM Cortex-A35"},
    Core{0x41, 0xd05, "ARM Cortex-A55"},   Core{0x41, 0xd07, "ARM Cortex-A57"},
    Core{0x41, 0xd08, "ARM Cortex-A72"},   Core{0x41, 0xd09, "ARM Cortex-A73"},
    Core{0x41, 0xd0a, "ARM Cortex-A75"},   Core{0x41, 0xd0b, "ARM Cortex-A76"},
    Core{0x41, 0xd0c, "ARM Neoverse N1"},  Core{0x41, 0xd0d, "ARM Cortex-A77"},
    Core{0x41, 0xd40, "ARM Neoverse V1"},  Core{0x41, 0xd41, "ARM Cortex-A78"},
    Core{0x41, 0xd42, "ARM Cortex-A78AE"}, Core{0x41, 0xd44, "ARM Cortex-X1"},
    Core{0x41, 0xd46, "ARM Cortex-A510"},  Core{0x41, 0xd47, "ARM Cortex-A710"},
    Core{0x41, 0xd48, "ARM Cortex-X2"},    Core{0x41, 0xd49, "ARM Neoverse N2"},
    Core{0x41, 0xd4b, "ARM Cortex-A78C"},  Core{0x41, 0xd4d, "ARM Cortex-A715"},
    Core{0x41, 0xd4e, "ARM Cortex-X3"},    Core{0x41, 0xd4f, "ARM Neoverse V2"},
    Core{0x41, 0xd80, "ARM Cortex-A520"},  Core{0x41, 0xd81, "ARM Cortex-A720"},
    Core{0x41, 0xd82, "ARM Cortex-X4"},    Core{0x41, 0xd83, "ARM Neoverse V3AE"},
    Core{0x41, 0xd84, "ARM Neoverse V3"},  Core{0x41, 0xd85, "ARM Cortex-X925"},
    Core{0x41, 0xd87, "ARM Cortex-A725"},  Core{0x41, 0xd89, "ARM Cortex-A720AE"},
    Core{0x41, 0xd8e, "ARM Neoverse N3"},  Core{0x43, 0x0af, "Cavium ThunderX2"},
    Core{0x46, 0x001, "Fujitsu A64FX"},    Core{0x48, 0xd01, "HiSilicon TaiShan v110"},
    Core{0x4e, 0x003, "NVIDIA Denver"},    Core{0x4e, 0x004, "NVIDIA Carmel"},
    Core{0x51, 0x001, "Qualcomm Oryon"},   Core{0x51, 0xc00, "Qualcomm Falkor"},
    Core{0x51, 0x800, "Qualcomm Kryo"},    Core{0x51, 0x801, "Qualcomm Kryo"},
    Core{0x51, 0x803, "Qualcomm Kryo"},    Core{0x51, 0x804, "Qualcomm Kryo"},
    Core{0x51, 0x805, "Qualcomm Kryo"},    Core{0x61, 0x022, "Apple M1"},
    Core{0x61, 0x023, "Apple M1"},         Core{0x61, 0x024, "Apple M1 Pro"},
    Core{0x61, 0x025, "Apple M1 Pro"},     Core{0x61, 0x028, "Apple M1 Max"},
    Core{0x61, 0x029, "Apple M1 Max"},     Core{0x61, 0x032, "Apple M2"},
    Core{0x61, 0x033, "Apple M2"},         Core{0x61, 0x034, "Apple M2 Pro"},
    Core{0x61, 0x035, "Apple M2 Pro"},     Core{0x61, 0x038, "Apple M2 Max"},
    Core{0x61, 0x039, "Apple M2 Max"},     Core{0x61, 0x042, "Apple M3"},
    Core{0x61, 0x043, "Apple M3"},         Core{0x61, 0x044, "Apple M3 Pro"},
    Core{0x61, 0x045, "Apple M3 Pro"},     Core{0x61, 0x048, "Apple M3 Max"},
    Core{0x61, 0x049, "Apple M3 Max"},     Core{0x61, 0x052, "Apple M4"},
    Core{0x61, 0x053, "Apple M4"},         Core{0x61, 0x054, "Apple M4 Pro"},
    Core{0x61, 0x055, "Apple M4 Pro"},     Core{0x61, 0x058, "Apple M4 Max"},
    Core{0x61, 0x059, "Apple M4 Max"},     Core{0x6d, 0xd49, "Microsoft Azure Cobalt 100"},
    Core{0xc0, 0xac3, "AmpereOne"},        Core{0xc0, 0xac4, "AmpereOne"},
};

// Chips better known by a marketing name than by the part number in their "compatible" entry.
struct KnownChip {
    std::string_view entry;
    std::string_view name;
};

constexpr std::array knownChips{
    KnownChip{"apple,t8103", "Apple M1"},     KnownChip{"apple,t6000", "Apple M1 Pro"},
    KnownChip{"apple,t6001", "Apple M1 Max"}, KnownChip{"apple,t6002", "Apple M1 Ultra"},
    KnownChip{"apple,t8112", "Apple M2"},     KnownChip{"apple,t6020", "Apple M2 Pro"},
    KnownChip{"apple,t6021", "Apple M2 Max"}, KnownChip{"apple,t6022", "Apple M2 Ultra"},
    KnownChip{"apple,t8122", "Apple M3"},     KnownChip{"apple,t6030", "Apple M3 Pro"},
    KnownChip{"apple,t6031", "Apple M3 Max"}, KnownChip{"apple,t8132", "Apple M4"},
};

struct SocVendor {
    std::string_view prefix;
    std::string_view name;
};

constexpr std::array socVendors{
    SocVendor{"allwinner", "Allwinner"},
    SocVendor{"amlogic", "Amlogic"},
    SocVendor{"apple", "Apple"},
    SocVendor{"brcm", "Broadcom"},
    SocVendor{"fsl", "NXP"},
    SocVendor{"mediatek", "MediaTek"},
    SocVendor{"nxp", "NXP"},
    SocVendor{"qcom", "Qualcomm"},
    SocVendor{"rockchip", "Rockchip"},
    SocVendor{"samsung", "Samsung"},
    SocVendor{"starfive", "StarFive"},
    SocVendor{"ti", "Texas Instruments"},
};

// "brcm,bcm2711" becomes "Broadcom BCM2711", "apple,t8103" "Apple M1"; "" when the vendor is
// not in the table.
std::string socName(std::string_view entry) {
    for (const auto& chip : knownChips) {
        if (chip.entry == entry) {
            return std::string(chip.name);
        }
    }
    const auto comma = entry.find(',');
    if (comma == std::string_view::npos || comma + 1 == entry.size()) {
        return {};
    }
    const auto vendor = entry.substr(0, comma);
    for (const auto& known : socVendors) {
        if (known.prefix == vendor) {
            std::string name(known.name);
            name += ' ';
            for (const char c : entry.substr(comma + 1)) {
                name += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
            }
            return name;
        }
    }
    return {};
}

} // namespace

std::string armCoreName(std::uint32_t implementer, std::uint32_t part) {
    for (const auto& core : cores) {
        if (core.implementer == implementer && core.part == part) {
            return std::string(core.name);
        }
    }
    return {};
}

std::string socNameFromCompatible(std::string_view compatibleBytes) {
    bool boardSeen = false;
    while (!compatibleBytes.empty()) {
        const auto nul = compatibleBytes.find('\0');
        const auto entry = decodeFactText(compatibleBytes.substr(0, nul));
        compatibleBytes =
            nul == std::string_view::npos ? std::string_view{} : compatibleBytes.substr(nul + 1);
        if (entry.empty()) {
            continue;
        }
        if (!boardSeen) {
            boardSeen = true; // the first entry names the board, not the chip
            continue;
        }
        if (auto name = socName(entry); !name.empty()) {
            return name;
        }
    }
    return {};
}

} // namespace hardware
