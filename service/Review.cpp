#include "service/Review.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace service {
namespace {

constexpr std::size_t kMaxProductBytes = 64;
constexpr std::size_t kMaxVersionBytes = 32;

std::string fixed(double value) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.3f", value);
    return text.data();
}

// RFC 9110 token characters.
bool isTokenChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view text, std::size_t maxBytes) {
    return !text.empty() && text.size() <= maxBytes &&
           std::all_of(text.begin(), text.end(), isTokenChar);
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

ClientVersion clientVersion(std::string_view userAgent) {
    const auto end = userAgent.find_first_of(" \t");
    const auto first = userAgent.substr(0, end);
    const auto slash = first.find('/');
    if (slash == std::string_view::npos) {
        return {};
    }
    const auto product = first.substr(0, slash);
    const auto version = first.substr(slash + 1);
    if (!isToken(product, kMaxProductBytes) || !isToken(version, kMaxVersionBytes)) {
        return {};
    }
    return {std::string(product), std::string(version)};
}

} // namespace service
