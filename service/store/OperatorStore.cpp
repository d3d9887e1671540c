#include "service/store/OperatorStore.h"

#include "service/store/DatabaseForm.h"
#include "service/store/RecordColumns.h"
#include "service/store/ReviewSql.h"
#include "service/store/Schema.h"
#include "service/store/SqlScoreStore.h"

#include <SQLiteCpp/Backup.h>
#include <SQLiteCpp/SQLiteCpp.h>
#include <filesystem>

namespace service {
namespace {

constexpr std::int64_t kBatch = 1000;
const std::string kReadOnlySession = "SET default_transaction_read_only = on";
const std::string kMarkHidden = "UPDATE withheld SET state = ? WHERE id = ?";
const std::string kReviewColumns = ", review_reason, review_figures FROM ";

// A table and how a record there reads its state.
struct Source {
    const char* table;
    const char* state;
};
constexpr Source kBoard{"scores", "'public'"};
constexpr Source kWithheld{"withheld", "state"};

std::string selectFrom(const Dialect& dialect, const Source& source) {
    return "SELECT " + storedColumns(dialect) + ", " + source.state + kReviewColumns +
           source.table + " WHERE id > ?";
}

OperatorRecord record(const SqlRow& row) {
    const auto n = storedColumnCount();
    return OperatorRecord{storedScore(row), asText(row.at(n)), asTextOrEmpty(row.at(n + 1)),
                          asTextOrEmpty(row.at(n + 2))};
}

// The filter as SQL conditions and their values, after the id bound.
std::string conditions(const RecordFilter& filter, std::vector<SqlValue>& values) {
    std::string sql = filter.heldOnly ? " AND state = 'held'" : "";
    if (filter.chip) {
        sql += " AND chip_type = ?";
        values.emplace_back(*filter.chip);
    }
    if (filter.since) {
        sql += " AND received_at >= ?";
        values.emplace_back(*filter.since);
    }
    if (const auto& client = filter.clientVersion) {
        const auto slash = client->find('/');
        sql += slash == std::string::npos ? " AND client_version = ?"
                                          : " AND client_product = ? AND client_version = ?";
        if (slash != std::string::npos) {
            values.emplace_back(client->substr(0, slash));
        }
        values.emplace_back(client->substr(slash == std::string::npos ? 0 : slash + 1));
    }
    return sql;
}

// Why a store that only reads refuses a schema it was not built for. It
// never upgrades one: that would take the write lock, change a database an
// older service still runs on, and fail on a read-only PostgreSQL standby.
std::optional<std::string> schemaRefusal(SqlConnection& connection) {
    std::int64_t version = 0;
    try {
        version = readSchemaVersion(connection);
    } catch (const std::exception&) {
        // no schema yet
    }
    const std::string versions = "the database's schema (version " + std::to_string(version) +
                                 ") is " + (version < kSchemaVersion ? "older" : "newer") +
                                 " than this program's (" + std::to_string(kSchemaVersion) + "); ";
    if (version < kSchemaVersion) {
        return versions + "only a command that writes upgrades it, as this version's service does";
    }
    return version > kSchemaVersion
               ? std::optional(versions + "use the score-service that wrote it")
               : std::nullopt;
}

class SqlOperatorStore final : public OperatorStore {
public:
    SqlOperatorStore(Engine engine, std::unique_ptr<SqlConnection> connection, std::string database)
        : engine_(std::move(engine)), connection_(std::move(connection)),
          database_(std::move(database)) {}

    bool postgres() const override { return engine_.postgres; }

    std::optional<OperatorRecord> find(std::int64_t id) override {
        for (const auto& source : {kBoard, kWithheld}) {
            const auto rows = connection_->run(selectFrom(engine_.dialect, source) + " AND id <= ?",
                                               {id - 1, id});
            if (!rows.empty()) {
                return record(rows[0]);
            }
        }
        return std::nullopt;
    }

    std::int64_t forEach(const RecordFilter& filter,
                         const std::function<void(const OperatorRecord&)>& sink) override {
        // One snapshot throughout, so that a record moved meanwhile is passed once.
        Transaction snapshot(*connection_, engine_.dialect.beginRead);
        std::int64_t passed = 0;
        const auto sources =
            filter.heldOnly ? std::vector{kWithheld} : std::vector{kBoard, kWithheld};
        for (const auto& source : sources) {
            passed += forEachIn(source, filter, sink);
        }
        snapshot.commit();
        return passed;
    }

    std::optional<OperatorRecord> change(std::int64_t id, const Decide& decide) override {
        Transaction transaction(*connection_, engine_.dialect.beginWrite);
        auto found = find(id);
        if (const auto what = decide(found)) {
            apply(*what, id);
            transaction.commit();
        }
        return found;
    }

    std::variant<std::int64_t, std::string> backup(const std::string& target) override {
        try {
            SQLite::Database source(database_, SQLite::OPEN_READONLY);
            SQLite::Database copy(target, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
            SQLite::Backup step(copy, source);
            // One step: the copy is a single consistent snapshot, and in WAL
            // mode the service keeps writing meanwhile.
            step.executeStep(-1);
            return std::int64_t{step.getTotalPageCount()};
        } catch (const std::exception& error) {
            std::error_code ignored;
            std::filesystem::remove(target, ignored);
            return std::string(error.what());
        }
    }

private:
    std::int64_t forEachIn(const Source& source, const RecordFilter& filter,
                           const std::function<void(const OperatorRecord&)>& sink) {
        std::vector<SqlValue> values{std::int64_t{0}};
        const std::string sql = selectFrom(engine_.dialect, source) + conditions(filter, values) +
                                " ORDER BY id LIMIT ?";
        values.emplace_back(kBatch);
        std::int64_t passed = 0;
        for (bool more = true; more;) {
            const auto rows = connection_->run(sql, values);
            for (const auto& row : rows) {
                sink(record(row));
            }
            passed += static_cast<std::int64_t>(rows.size());
            more = static_cast<std::int64_t>(rows.size()) == kBatch;
            values[0] = rows.empty() ? std::int64_t{0} : asInteger(rows.back().at(0));
        }
        return passed;
    }

    void apply(RecordChange what, std::int64_t id) {
        switch (what) {
        case RecordChange::onBoard:
            moveOnBoard(*connection_, engine_.dialect, id);
            break;
        case RecordChange::offBoard:
            moveOffBoard(*connection_, id, kHidden);
            break;
        case RecordChange::markHidden:
            connection_->run(kMarkHidden, {std::string(kHidden), id});
            break;
        case RecordChange::remove:
            removeRecord(*connection_, id);
            break;
        }
    }

    Engine engine_;
    std::unique_ptr<SqlConnection> connection_;
    std::string database_;
};

// A connection that cannot write: an operator inspecting a copy or a backup
// must leave it as it was, and a read-only file or standby must still serve.
std::unique_ptr<SqlConnection> connectReading(const Engine& engine, const std::string& database) {
    if (!engine.postgres) {
        return openSqliteReadOnly(database);
    }
    auto connection = engine.connect();
    connection->run(kReadOnlySession, {});
    return connection;
}

} // namespace

std::variant<std::unique_ptr<OperatorStore>, std::string>
OperatorStore::open(const std::string& database, bool writes) {
    if (const auto form = databaseForm(database); std::holds_alternative<std::string>(form)) {
        return std::get<std::string>(form);
    }
    auto engine = engineFor(database);
    if (!engine.postgres && !std::filesystem::is_regular_file(database)) {
        return cannotOpen(database) + ": no such file";
    }
    try {
        if (writes) {
            migrateSchema(*engine.connect(), engine.dialect);
        }
        auto connection = writes ? engine.connect() : connectReading(engine, database);
        if (auto refusal = writes ? std::nullopt : schemaRefusal(*connection)) {
            return *refusal;
        }
        return std::make_unique<SqlOperatorStore>(std::move(engine), std::move(connection),
                                                  database);
    } catch (const std::exception& error) {
        return cannotOpen(database) + ": " + error.what();
    }
}

} // namespace service
