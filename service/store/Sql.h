#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace service {

using SqlValue = std::variant<std::nullptr_t, std::int64_t, double, std::string>;
using SqlRow = std::vector<SqlValue>;

// A statement to run later; its SQL outlives it (a constant or a member).
struct SqlStatement {
    std::string_view sql;
    std::vector<SqlValue> params;
};

// Thrown by a statement that gave up waiting for a lock another transaction
// holds (a lock timeout); the transaction is then rolled back, nothing of it done.
class LockNotAvailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One open connection of either engine. Statements use `?` placeholders.
// Failures throw (std::runtime_error or the driver's own exceptions); the
// store turns them into values at its boundary.
class SqlConnection {
public:
    virtual ~SqlConnection() = default;
    virtual std::vector<SqlRow> run(std::string_view sql, const std::vector<SqlValue>& params) = 0;
    // Runs each in turn, as run() would, and answers each one's rows; a
    // connection to a server may send them all before reading any answer.
    virtual std::vector<std::vector<SqlRow>> runAll(const std::vector<SqlStatement>& statements) {
        std::vector<std::vector<SqlRow>> answers;
        answers.reserve(statements.size());
        for (const auto& statement : statements) {
            answers.push_back(run(statement.sql, statement.params));
        }
        return answers;
    }
    // After a failure: the server had closed the connection (it restarted,
    // say), so a new one may well work at once.
    virtual bool closedByServer() const { return false; }
    // Why a write would fail now though every query works (a deleted file, a
    // full disk, a read-only server); nothing when it would succeed.
    virtual std::optional<std::string> writeBlocker() { return std::nullopt; }
};

// A transaction opened by `begin` and ended by commit(). One left without a
// commit rolls back, except while an exception leaves: then the connection
// has failed, and its owner drops it, which rolls back on the server.
class Transaction {
public:
    Transaction(SqlConnection& connection, const std::string& begin)
        : connection_(connection), exceptions_(std::uncaught_exceptions()) {
        connection_.run(begin, {});
    }
    ~Transaction() {
        if (!committed_ && std::uncaught_exceptions() == exceptions_) {
            try {
                connection_.run("ROLLBACK", {});
            } catch (...) { // NOLINT(bugprone-empty-catch): a broken connection is dropped anyway
            }
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit() {
        connection_.run("COMMIT", {});
        committed_ = true;
    }

private:
    SqlConnection& connection_;
    int exceptions_;
    bool committed_ = false;
};

// Where the two engines' SQL differs.
struct Dialect {
    std::string beginWrite;       // opens a transaction that will write
    std::string lockForMigration; // serialises concurrent start-ups; may be empty
    // Reads a processor's count of records on the board (no row: none) and,
    // where beginWrite does not already hold the only write lock, holds its
    // row for the rest of the transaction.
    std::string takeChip;
    // The same, giving up promptly with LockNotAvailable when another
    // transaction holds the row, so that one stuck processor holds up no
    // batch but its own submissions.
    std::string takeChipPromptly;
    std::vector<std::string> createSchemaV1;
    std::string receivedAtText; // selects received_at as ISO 8601 UTC text
    std::string binOfTime;      // bin index of xcode_build_sec, given low and width
    // Run on the migration's own connection before it starts: its bounds
    // replace the request path's, so a long backfill or a wait for another
    // instance's migration is not cancelled.
    std::vector<std::string> migrationSettings;
    // Holds off every other writer of `scores` until the migration commits,
    // so that a backfill misses no row committed after its snapshot.
    std::string lockScores;
    // The whole millisecond of xcode_build_sec, as the counting triggers
    // file a record; `column` names the time.
    std::string (*millisecondOf)(const std::string& column) = nullptr;
    std::vector<std::string> createCountingTriggers;
    std::vector<std::string> dropCountingTriggers; // those of any version, where they are
    // Where a text holds another: name(haystack, needle), 0 when nowhere.
    std::string textContains;
    // The engine's own part of schema version 5 (Schema.cpp).
    std::vector<std::string> createPromptTake;
    // Opens a transaction that reads one snapshot throughout.
    std::string beginRead = "BEGIN";
    // Written after an INSERT's column list so that the ids given are kept
    // (PostgreSQL generates its identity column's values unless told).
    std::string keepGivenIds = "";
};

// A processor's number of public results, as the counting triggers keep it.
inline const std::string kChipRecords = "SELECT records FROM chip_totals WHERE chip_type = ?";

const Dialect& sqliteDialect();
const Dialect& postgresDialect();

std::int64_t asInteger(const SqlValue& value);
double asNumber(const SqlValue& value);
std::string asText(const SqlValue& value);
std::string asTextOrEmpty(const SqlValue& value); // a NULL reads as ""

// Opens the SQLite file in WAL mode, creating it only when `create` is set.
// Throws on failure.
std::unique_ptr<SqlConnection> openSqlite(const std::string& path, bool create = true);
// Opens an existing SQLite file for reading only, in whatever journal mode it
// is. Throws on failure.
std::unique_ptr<SqlConnection> openSqliteReadOnly(const std::string& path);
// The part of a SQLite connection's writeBlocker that needs no database.
std::optional<std::string> sqliteWriteBlocker(bool fileMoved, std::uintmax_t freeBytes);
// Connects to PostgreSQL with a libpq connection URL. Throws on failure.
std::unique_ptr<SqlConnection> openPostgres(const std::string& url);

} // namespace service
