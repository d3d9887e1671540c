#pragma once

#include "service/admin/AdminCommand.h"
#include "service/store/ScoreStore.h"
#include "service/store/Sql.h"

#include <functional>
#include <iosfwd>

namespace service {

// A record as the operator sees it: on the board ("public") or withheld.
struct AdminRecord {
    StoredScore score;
    std::string state;
    std::string reviewReason;
    std::string reviewFigures; // JSON, empty when the rule never held it
};

// Streams the records that `filter`'s list options select (all of them for
// export), the board's then the withheld ones, each in id order, reading a
// bounded batch at a time. Returns how many it passed to `sink`.
std::int64_t forEachRecord(SqlConnection& connection, const Dialect& dialect,
                           const AdminCommand& filter,
                           const std::function<void(const AdminRecord&)>& sink);

std::optional<AdminRecord> findRecord(SqlConnection& connection, const Dialect& dialect,
                                      std::int64_t id);

void writeListLine(std::ostream& out, const AdminRecord& record);
void writeShow(std::ostream& out, const AdminRecord& record);
void writeCsvHeader(std::ostream& out);
void writeCsv(std::ostream& out, const AdminRecord& record);
void writeJsonl(std::ostream& out, const AdminRecord& record);

} // namespace service
