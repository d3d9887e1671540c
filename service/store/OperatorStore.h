#pragma once
// The operator's door into the database (`score-service admin`): every read
// and change of one record, on both engines, with the store's own SQL. The
// admin commands decide and print; nothing else of theirs touches SQL.

#include "service/store/Records.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace service {

// A record as the operator sees it: on the board ("public") or withheld.
struct OperatorRecord {
    StoredScore score;
    std::string state;
    std::string reviewReason;
    std::string reviewFigures; // JSON, empty when the rule never held it
};

// Which records a listing takes; unset conditions take all.
struct RecordFilter {
    bool heldOnly = false;
    std::optional<std::string> chip;
    std::optional<std::string> since;         // ISO 8601 UTC with milliseconds
    std::optional<std::string> clientVersion; // VERSION or PRODUCT/VERSION
};

// What an operator does to one record.
enum class RecordChange { onBoard, offBoard, markHidden, remove };

class OperatorStore {
public:
    // Opens without creating: a mistyped path must fail, not start an empty
    // board. One that `writes` first brings the schema up to date as the
    // service does; one that only reads connects read-only and refuses a
    // schema it was not built for. A text saying why when it cannot.
    static std::variant<std::unique_ptr<OperatorStore>, std::string>
    open(const std::string& database, bool writes);
    virtual ~OperatorStore() = default;

    virtual bool postgres() const = 0;
    virtual std::optional<OperatorRecord> find(std::int64_t id) = 0;
    // Streams the records `filter` selects, the board's then the withheld
    // ones, each in id order, in one snapshot and a bounded batch at a time.
    // Returns how many it passed to `sink`.
    virtual std::int64_t forEach(const RecordFilter& filter,
                                 const std::function<void(const OperatorRecord&)>& sink) = 0;
    // In one write transaction: finds the record, asks `decide` what to do
    // with it (nothing: leave it), does that. Returns the record as found.
    using Decide = std::function<std::optional<RecordChange>(const std::optional<OperatorRecord>&)>;
    virtual std::optional<OperatorRecord> change(std::int64_t id, const Decide& decide) = 0;
    // SQLite only: a consistent copy into the new file `target`, taken while
    // the service may keep writing. Its size in pages, or why it failed.
    virtual std::variant<std::int64_t, std::string> backup(const std::string& target) = 0;
};

} // namespace service
