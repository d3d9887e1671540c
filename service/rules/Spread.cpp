#include "service/rules/Spread.h"

#include <unicode/ucasemap.h>

#include <cmath>
#include <memory>
#include <string_view>

namespace service {

Spread spreadOf(std::int64_t count, const std::function<double(std::int64_t k)>& kth) {
    const auto at = [&](double p) {
        const double rank = p * static_cast<double>(count - 1);
        const auto low = static_cast<std::int64_t>(std::floor(rank));
        const double lower = kth(low);
        const double share = rank - static_cast<double>(low);
        return share == 0.0 ? lower : lower + share * (kth(low + 1) - lower);
    };
    return Spread{count, kth(0), at(0.10), at(0.25), at(0.50), at(0.75), at(0.90)};
}

int percentFaster(double time, double median) {
    return median > 0.0 ? static_cast<int>(std::lround((median - time) / median * 100.0)) : 0;
}

bool middlesOverlap(const Spread& a, const Spread& b) {
    return a.q1 <= b.q3 && b.q1 <= a.q3;
}

std::string foldName(const std::string& name) {
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<UCaseMap, decltype(&ucasemap_close)> map(
        ucasemap_open("", U_FOLD_CASE_DEFAULT, &status), ucasemap_close);
    std::string folded(name.size() * 3 + 1, '\0');
    const auto length =
        ucasemap_utf8FoldCase(map.get(), folded.data(), static_cast<int32_t>(folded.size()),
                              name.data(), static_cast<int32_t>(name.size()), &status);
    if (U_FAILURE(status) || length < 0) {
        return name;
    }
    const std::string_view text(folded.data(), static_cast<std::size_t>(length));
    // İ folds to i and a combining dot above; ı stays as it is.
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto odd = text.substr(at, 3).starts_with("i\xCC\x87") ? 3
                         : text.substr(at, 2) == "\xC4\xB1"          ? 2
                                                                     : 0;
        plain += odd > 0 ? 'i' : text[at];
        at += odd > 0 ? odd : 1;
    }
    return plain;
}

} // namespace service
