#include "service/rules/Review.h"

#include "service/rules/Format.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace service {
namespace {

std::string fixed(double value) {
    return formatFixed(value, 3);
}

std::optional<Hold> byBoard(double seconds, const ReviewFigures& f) {
    const double bound = f.boardReference * kReviewBoardShare;
    if (f.boardReference <= 0.0 || seconds >= bound) {
        return std::nullopt;
    }
    const nlohmann::ordered_json figures{{"rule", "board"},
                                         {"records", f.records},
                                         {"board_reference", f.boardReference},
                                         {"bound", bound}};
    return Hold{"faster than " + fixed(kReviewBoardShare) + " x the board's reference (" +
                    fixed(f.boardReference) + " s) while the processor has " +
                    std::to_string(f.records) + " results",
                figures.dump()};
}

} // namespace

std::optional<Hold> reviewTime(double seconds, const ReviewFigures& f) {
    if (f.records < kReviewMinRecords) {
        return byBoard(seconds, f);
    }
    const bool fast = seconds < f.median;
    const double floor = kReviewMinSpread * f.median;
    const double spread = std::max(fast ? f.median - f.q1 : f.q3 - f.median, floor);
    const double distance = (seconds - f.median) / spread;
    if (fast ? distance >= -kReviewFastLimit : distance <= kReviewSlowLimit) {
        return std::nullopt;
    }
    const nlohmann::ordered_json figures{
        {"rule", "quartile"}, {"records", f.records}, {"q1", f.q1},          {"median", f.median},
        {"q3", f.q3},         {"spread", spread},     {"distance", distance}};
    return Hold{fixed(std::abs(distance)) + " spreads " + (fast ? "below" : "above") +
                    " the processor's median of " + fixed(f.median) + " s (limit " +
                    fixed(fast ? kReviewFastLimit : kReviewSlowLimit) + ")",
                figures.dump()};
}

double boardReference(const std::vector<double>& shortest) {
    const auto rank = std::min<std::size_t>(kReviewBoardRank, (shortest.size() + 3) / 4);
    return rank == 0 ? 0.0 : shortest[rank - 1];
}

} // namespace service
