#pragma once
// A record's columns and their decoding, written once for every reader of
// `scores` and `withheld`: a column added to both is added here.

#include "service/store/Records.h"
#include "service/store/Sql.h"

#include <string>

namespace service {

// The submitted values, in Payload's order.
extern const std::string kPayloadColumns;
// Every column a record has, in both tables.
extern const std::string kRecordColumns;

// What a read of a record selects, in storedScore's order: the id, the
// receive time as text, the submitted values and the client.
std::string storedColumns(const Dialect& dialect);
StoredScore storedScore(const SqlRow& row);
// How many columns storedScore reads.
inline constexpr std::size_t kStoredColumnCount = 11;

} // namespace service
