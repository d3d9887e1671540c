#include "hardware/CpuInfo.h"

#include "hardware/FactText.h"

#include <charconv>

namespace hardware {
namespace {

std::string_view trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// The kernel writes "0x41"; only a complete hexadecimal number counts.
std::optional<std::uint32_t> parseHexCode(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    std::uint32_t value = 0;
    const auto* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, 16);
    if (text.empty() || error != std::errc{} || stop != end) {
        return std::nullopt;
    }
    return value;
}

struct Entry {
    std::string_view key;
    std::string_view value;
};

std::optional<Entry> splitEntry(std::string_view line) {
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    auto value = line.substr(colon + 1);
    // "key\t: value": the one space belongs to the separator, not to the value.
    if (!value.empty() && value.front() == ' ') {
        value.remove_prefix(1);
    }
    return Entry{trimBlanks(line.substr(0, colon)), value};
}

void record(CpuInfo& info, const Entry& entry) {
    if (entry.key == "model name" && info.modelName.empty()) {
        info.modelName = decodeFactText(entry.value);
    } else if (entry.key == "CPU implementer" && !info.implementer) {
        info.implementer = parseHexCode(decodeFactText(entry.value));
    } else if (entry.key == "CPU part" && !info.part) {
        info.part = parseHexCode(decodeFactText(entry.value));
    }
}

} // namespace

CpuInfo parseCpuInfo(std::string_view text) {
    CpuInfo info;
    bool inProcessor = false;
    while (!text.empty()) {
        const auto newline = text.find('\n');
        const auto line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);

        if (trimBlanks(line).empty()) {
            if (inProcessor) {
                break; // a blank line ends the first processor's block
            }
            continue;
        }
        const auto entry = splitEntry(line);
        if (!entry) {
            continue;
        }
        if (entry->key == "processor") {
            if (inProcessor) {
                break;
            }
            inProcessor = true;
            continue;
        }
        record(info, *entry);
    }
    return info;
}

} // namespace hardware
