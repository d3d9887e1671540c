#pragma once

#include "service/Review.h"
#include "service/Sql.h"

namespace service {

// Records off the board live in `withheld` (see Schema.cpp), in one of these states.
inline constexpr const char* kHeld = "held";
inline constexpr const char* kHidden = "hidden";

// Every column a record has, in both tables.
extern const std::string kRecordColumns;

// The figures the review rule needs for a time of `chip`, which has `records`
// on the board.
ReviewFigures reviewFigures(SqlConnection& connection, const Dialect& dialect,
                            const std::string& chip, std::int64_t records);

// Moves a record from the board to `withheld` in `state`.
void moveOffBoard(SqlConnection& connection, std::int64_t id, const char* state);
// Moves a record from `withheld` back onto the board, keeping its id.
void moveOnBoard(SqlConnection& connection, const Dialect& dialect, std::int64_t id);

// Deletes a record wherever it is, its processor's count included.
void removeRecord(SqlConnection& connection, std::int64_t id);

} // namespace service
