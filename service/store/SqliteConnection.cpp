#include "service/store/Sql.h"
#include "service/store/StatementCache.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <filesystem>
#include <memory>
#include <sqlite3.h>

namespace service {
namespace {

class SqliteConnection final : public SqlConnection {
public:
    SqliteConnection(const std::string& path, int flags) : db_(path, flags, kBusyTimeoutMs) {
        if ((flags & SQLite::OPEN_READONLY) != 0) {
            return; // leaves the file, its journal mode too, as it found it
        }
        db_.exec("PRAGMA journal_mode=WAL");
        // FULL syncs the log on every commit: a 200 then survives a power cut,
        // not only a killed process.
        db_.exec("PRAGMA synchronous=FULL");
    }

    std::vector<SqlRow> run(std::string_view sql, const std::vector<SqlValue>& params) override {
        auto& statement = prepared(sql);
        // Left reset whatever happens, so that a kept statement never holds
        // the file's read snapshot (or a failed step) into the next run.
        const struct Reset {
            SQLite::Statement& statement;
            ~Reset() { statement.tryReset(); }
        } reset{statement};
        statement.clearBindings();
        for (std::size_t i = 0; i < params.size(); ++i) {
            bind(statement, static_cast<int>(i + 1), params[i]);
        }
        std::vector<SqlRow> rows;
        while (statement.executeStep()) {
            SqlRow row;
            row.reserve(static_cast<std::size_t>(statement.getColumnCount()));
            for (int column = 0; column < statement.getColumnCount(); ++column) {
                row.push_back(read(statement.getColumn(column)));
            }
            rows.push_back(std::move(row));
        }
        return rows;
    }

    std::optional<std::string> writeBlocker() override {
        int moved = 0;
        sqlite3_file_control(db_.getHandle(), "main", SQLITE_FCNTL_HAS_MOVED, &moved);
        std::error_code error;
        const auto folder = std::filesystem::absolute(db_.getFilename()).parent_path();
        const auto space = std::filesystem::space(folder, error);
        return sqliteWriteBlocker(moved != 0, error ? 0 : space.available);
    }

private:
    static constexpr int kBusyTimeoutMs = 5000;
    SQLite::Statement& prepared(std::string_view sql) {
        if (auto* kept = kept_.find(sql)) {
            return **kept;
        }
        kept_.makeRoom([] {});
        return *kept_.keep(sql, std::make_unique<SQLite::Statement>(db_, std::string(sql)));
    }

    static void bind(SQLite::Statement& statement, int index, const SqlValue& value) {
        std::visit(
            [&](const auto& v) {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, std::nullptr_t>) {
                    statement.bind(index);
                } else {
                    statement.bind(index, v);
                }
            },
            value);
    }

    static SqlValue read(const SQLite::Column& column) {
        if (column.isInteger()) {
            return static_cast<std::int64_t>(column.getInt64());
        }
        if (column.isFloat()) {
            return column.getDouble();
        }
        if (column.isNull()) {
            return nullptr;
        }
        return column.getString();
    }

    SQLite::Database db_; // outlives the statements below, declared after it
    StatementCache<std::unique_ptr<SQLite::Statement>> kept_;
};

} // namespace

std::unique_ptr<SqlConnection> openSqlite(const std::string& path, bool create) {
    return std::make_unique<SqliteConnection>(path, SQLite::OPEN_READWRITE |
                                                        (create ? SQLite::OPEN_CREATE : 0));
}

std::unique_ptr<SqlConnection> openSqliteReadOnly(const std::string& path) {
    return std::make_unique<SqliteConnection>(path, SQLite::OPEN_READONLY);
}

std::optional<std::string> sqliteWriteBlocker(bool fileMoved, std::uintmax_t freeBytes) {
    // A record with its index entries, counts and log frames takes a few
    // pages; below this a commit may fail half-way through the log.
    constexpr std::uintmax_t kMinFreeBytes = std::uintmax_t{4} << 20;
    if (fileMoved) {
        return "the database file was deleted or replaced";
    }
    if (freeBytes < kMinFreeBytes) {
        return "the disk holding the database is full";
    }
    return std::nullopt;
}

} // namespace service
