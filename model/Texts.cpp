#include "model/Texts.h"

#include "submission/PlainText.h"

namespace model::texts {

std::string formatInteger(std::int64_t value) {
    return std::to_string(value); // integers never take the locale's grouping
}

std::string formatOneDecimal(double value) {
    return submission::fixedText(value, 1);
}

std::string ramText(std::int64_t ramGB) {
    return formatInteger(ramGB) + " GB";
}

std::string scoreText(double seconds) {
    return formatOneDecimal(seconds) + " Saniye";
}

} // namespace model::texts
