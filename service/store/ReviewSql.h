#pragma once

#include "service/rules/Review.h"
#include "service/store/Memo.h"
#include "service/store/Sql.h"

namespace service {

// Records off the board live in `withheld` (see Schema.cpp), in one of these states.
inline constexpr const char* kHeld = "held";
inline constexpr const char* kHidden = "hidden";

// The figures the review rule needs for a time of a processor with `records`
// on the board. Its quartiles come from the kept counts, which costs reading
// every second's count and a second's millisecond counts, so they are read
// again only once the processor has grown or shrunk by a twentieth. Safe to
// call from several threads at once.
class ReviewFigureSource {
public:
    ReviewFigures read(SqlConnection& connection, const Dialect& dialect, const std::string& chip,
                       std::int64_t records);
    // The same figures when they need no read; nothing when they do.
    std::optional<ReviewFigures> kept(const std::string& chip, std::int64_t records);

private:
    static bool holdsFor(std::int64_t records, std::int64_t kept);
    struct Quartiles {
        std::int64_t records = 0;
        double q1 = 0.0;
        double median = 0.0;
        double q3 = 0.0;
    };
    Memo<Quartiles> known_{10000}; // processors remembered at once
};

// Moves a record from the board to `withheld` in `state`.
void moveOffBoard(SqlConnection& connection, std::int64_t id, const char* state);
// Moves a record from `withheld` back onto the board, keeping its id.
void moveOnBoard(SqlConnection& connection, const Dialect& dialect, std::int64_t id);

// Deletes a record wherever it is, its processor's count included.
void removeRecord(SqlConnection& connection, std::int64_t id);

} // namespace service
