#pragma once
// A record's columns and their decoding, made from the record's own list of
// members (submission::forEachMember) for every reader and writer of `scores`
// and `withheld`: a member added to the record reaches them all from there.

#include "service/rules/Review.h"
#include "service/store/Records.h"
#include "service/store/Sql.h"

#include <optional>
#include <string>
#include <vector>

namespace service {

// The submitted values, in Payload's order.
extern const std::string kPayloadColumns;
// Every column a record has, in both tables.
extern const std::string kRecordColumns;
// The insert of a record into `scores`, returning its id; its values are
// submissionValues' in order.
extern const std::string kInsertScore;

// What a read of a record selects, in storedScore's order: the id, the
// receive time as text, the submitted values and the client.
std::string storedColumns(const Dialect& dialect);
StoredScore storedScore(const SqlRow& row);
// How many columns storedScore reads: a reader's own columns follow them.
std::size_t storedColumnCount();

// A record's values for kInsertScore: when it came, its members, its client,
// why the review holds it (nulls if it does not), its submission key.
std::vector<SqlValue> submissionValues(const std::string& receivedAt,
                                       const submission::Payload& payload,
                                       const ClientVersion& client, const std::optional<Hold>& hold,
                                       std::int64_t key);

} // namespace service
