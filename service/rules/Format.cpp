#include "service/rules/Format.h"

#include "submission/PlainText.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <string_view>

namespace service {

std::string formatFixed(double value, int decimals) {
    return submission::fixedText(value, decimals);
}

std::string turkishNumber(double value) {
    auto text = submission::shortestText(value);
    std::replace(text.begin(), text.end(), '.', ',');
    return text;
}

std::string formatSeconds(double seconds) {
    return formatFixed(seconds, 2);
}

std::string formatCount(std::int64_t count) {
    // Negated as unsigned, so that the lowest count has a magnitude too.
    const auto magnitude =
        count < 0 ? 0 - static_cast<std::uint64_t>(count) : static_cast<std::uint64_t>(count);
    const std::string digits = std::to_string(magnitude);
    std::string out = count < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out += '.';
        }
        out += digits[i];
    }
    return out;
}

std::string isoUtc(std::chrono::system_clock::time_point time) {
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = millis / 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    std::array<char, 32> text{};
    const auto n = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%S", &utc);
    const auto ms = static_cast<int>(millis % 1000);
    return std::string(text.data(), n) + "." + static_cast<char>('0' + ms / 100) +
           static_cast<char>('0' + ms / 10 % 10) + static_cast<char>('0' + ms % 10) + "Z";
}

std::string readableUtc(const std::string& iso) {
    static constexpr std::array<const char*, 12> kMonths{"Oca", "Şub", "Mar", "Nis", "May", "Haz",
                                                         "Tem", "Ağu", "Eyl", "Eki", "Kas", "Ara"};
    constexpr std::string_view kForm = "0000-00-00T00:00";
    for (std::size_t i = 0; i < kForm.size(); ++i) {
        const bool digit = i < iso.size() && iso[i] >= '0' && iso[i] <= '9';
        if (i >= iso.size() || (kForm[i] == '0' ? !digit : iso[i] != kForm[i])) {
            return iso;
        }
    }
    const int month = std::stoi(iso.substr(5, 2));
    const int day = std::stoi(iso.substr(8, 2));
    if (month < 1 || month > 12 || day < 1) {
        return iso;
    }
    return std::to_string(day) + " " + kMonths[month - 1] + " " + iso.substr(0, 4) + " " +
           iso.substr(11, 5);
}

UnsafeCharacter unsafeCharacter(std::int32_t c) {
    if (c < 0) {
        return UnsafeCharacter::broken;
    }
    switch (u_charType(c)) {
    case U_CONTROL_CHAR:
        return UnsafeCharacter::control;
    case U_FORMAT_CHAR:
        return UnsafeCharacter::format;
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
        return UnsafeCharacter::lineBreak;
    default:
        return UnsafeCharacter::none;
    }
}

} // namespace service
