#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace service {

// What the review rule knows about a processor when a time arrives. The
// quartiles are of the processor's records on the board; `boardReference` is
// the whole board's kReviewBoardRank-th shortest time (0 when it is empty).
struct ReviewFigures {
    std::int64_t records = 0;
    double q1 = 0.0;
    double median = 0.0;
    double q3 = 0.0;
    double boardReference = 0.0;
};

// Why a time is held, for the operator, and the rule's figures as JSON.
struct Hold {
    std::string reason;
    std::string figures;
};

// With this many records a processor's own quartiles judge; below it, the board.
inline constexpr std::int64_t kReviewMinRecords = 20;
// Distance from the median, in units of the near side's quartile spread
// (median − Q1 below, Q3 − median above; each is one MAD for a symmetric
// distribution), past which a time is held. Slow times spread further.
inline constexpr double kReviewFastLimit = 4.0;
inline constexpr double kReviewSlowLimit = 20.0;
// A spread is never taken narrower than this share of the median, so that a
// processor whose results agree closely does not hold every small gain.
inline constexpr double kReviewMinSpread = 0.02;
// Below kReviewMinRecords: held when faster than this share of the board's reference.
inline constexpr double kReviewBoardShare = 0.5;
// The board's reference is its time of this rank, or its lower quartile
// while it has fewer than four times as many results. The board's best would
// move with every result that passes; this moves by one place, and a
// submitter must place this many results (or a quarter of a small board) of
// their own to halve it.
inline constexpr std::int64_t kReviewBoardRank = 20;
// How many of the board's shortest times boardReference needs.
inline constexpr std::int64_t kReviewBoardTimes = 4 * kReviewBoardRank - 1;

// The reference from the board's shortest times in order, at most
// kReviewBoardTimes of them (fewer only when the board has no more); 0 for none.
double boardReference(const std::vector<double>& shortest);

// Whether a time is held for review; nothing when it goes on the board.
std::optional<Hold> reviewTime(double seconds, const ReviewFigures& figures);

} // namespace service
