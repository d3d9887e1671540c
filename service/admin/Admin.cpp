#include "service/admin/Admin.h"

#include "service/admin/AdminRecords.h"
#include "service/rules/Format.h"
#include "service/store/DatabaseForm.h"
#include "service/store/ReviewSql.h"
#include "service/store/Schema.h"
#include "service/store/SqlScoreStore.h"

#include <SQLiteCpp/Backup.h>
#include <SQLiteCpp/SQLiteCpp.h>
#include <filesystem>
#include <ostream>

namespace service {
namespace {

struct Opened {
    Engine engine;
    std::unique_ptr<SqlConnection> connection;
};

std::int64_t storedVersion(SqlConnection& connection) {
    try {
        return readSchemaVersion(connection);
    } catch (const std::exception&) {
        return 0; // no schema yet
    }
}

// Why a command that only reads refuses a schema it was not built for. It
// never upgrades one: that would take the write lock, change a database an
// older service still runs on, and fail on a read-only PostgreSQL standby.
std::optional<std::string> schemaRefusal(std::int64_t version) {
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

// A connection that cannot write: an operator inspecting a copy or a backup
// must leave it as it was, and a read-only file or standby must still serve.
std::unique_ptr<SqlConnection> connectReading(const Engine& engine, const std::string& database) {
    if (!engine.postgres) {
        return openSqliteReadOnly(database);
    }
    auto connection = engine.connect();
    connection->run("SET default_transaction_read_only = on", {});
    return connection;
}

// Opens without creating: a mistyped path must fail, not start an empty board.
std::variant<Opened, std::string> open(const std::string& database, bool writes) {
    if (const auto form = databaseForm(database); std::holds_alternative<std::string>(form)) {
        return std::get<std::string>(form);
    }
    auto engine = engineFor(database);
    if (!engine.postgres && !std::filesystem::is_regular_file(database)) {
        return cannotOpen(database) + ": no such file";
    }
    try {
        if (writes) {
            openStore(database, [](const std::string&) {}); // brings the schema up to date
        }
        auto connection = writes ? engine.connect() : connectReading(engine, database);
        if (auto refusal = writes ? std::nullopt : schemaRefusal(storedVersion(*connection))) {
            return *refusal;
        }
        return Opened{std::move(engine), std::move(connection)};
    } catch (const std::exception& error) {
        return cannotOpen(database) + ": " + error.what();
    }
}

// What a command does to a record in `state`, or why it refuses.
struct Action {
    enum Kind { onBoard, offBoard, markHidden, remove, refuse } kind;
    std::string said;
};

Action decide(const std::string& verb, const std::string& state) {
    if (verb == "delete") {
        return {Action::remove, "deleted"};
    }
    if (verb == "approve") {
        return state == kHeld ? Action{Action::onBoard, "approved; it is on the board"}
                              : Action{Action::refuse, "is not held for review (it is " + state +
                                                           "); approve takes held records"};
    }
    if (verb == "restore") {
        return state == kHidden ? Action{Action::onBoard, "restored; it is on the board"}
                                : Action{Action::refuse, "is not hidden (it is " + state +
                                                             "); restore takes hidden records"};
    }
    if (state == kHidden) {
        return {Action::refuse, "is already hidden"};
    }
    return state == kHeld ? Action{Action::markHidden, "hidden (it was held for review)"}
                          : Action{Action::offBoard, "hidden; it is off the board"};
}

void apply(Opened& db, const Action& action, std::int64_t id) {
    auto& connection = *db.connection;
    switch (action.kind) {
    case Action::onBoard:
        moveOnBoard(connection, db.engine.dialect, id);
        break;
    case Action::offBoard:
        moveOffBoard(connection, id, kHidden);
        break;
    case Action::markHidden:
        connection.run("UPDATE withheld SET state = ? WHERE id = ?", {std::string(kHidden), id});
        break;
    case Action::remove:
        removeRecord(connection, id);
        break;
    case Action::refuse:
        break;
    }
}

int change(Opened& db, const AdminCommand& command, std::ostream& out, std::ostream& err) {
    auto& connection = *db.connection;
    Transaction transaction(connection, db.engine.dialect.beginWrite);
    const auto found = findRecord(connection, db.engine.dialect, command.id);
    const auto action =
        found ? decide(command.verb, found->state) : Action{Action::refuse, "does not exist"};
    if (action.kind == Action::refuse) {
        err << "score-service admin: record " << command.id << " " << action.said << "\n";
        return 1;
    }
    apply(db, action, command.id);
    transaction.commit();
    out << "record " << command.id << " (" << found->score.payload.chip_type << ", score "
        << formatSeconds(found->score.payload.xcode_build_sec) << ") " << action.said << "\n";
    return 0;
}

int show(Opened& db, const AdminCommand& command, std::ostream& out, std::ostream& err) {
    const auto found = findRecord(*db.connection, db.engine.dialect, command.id);
    if (!found) {
        err << "score-service admin: record " << command.id << " does not exist\n";
        return 1;
    }
    writeShow(out, *found);
    return 0;
}

int list(Opened& db, const AdminCommand& command, std::ostream& out, std::ostream& err) {
    const bool exporting = command.verb == "export";
    const bool csv = command.format == "csv";
    // One snapshot throughout, so that a record moved meanwhile is listed once.
    Transaction snapshot(*db.connection, db.engine.dialect.beginRead);
    if (exporting && csv) {
        writeCsvHeader(out);
    }
    const auto count =
        forEachRecord(*db.connection, db.engine.dialect, command, [&](const AdminRecord& record) {
            !exporting ? writeListLine(out, record)
            : csv      ? writeCsv(out, record)
                       : writeJsonl(out, record);
        });
    snapshot.commit();
    // The count goes apart from the records, so that a pipe takes the records alone.
    err << (exporting ? "exported " : "listed ") << count
        << (count == 1 ? " record\n" : " records\n");
    return out.good() ? 0 : 1;
}

int backup(const AdminCommand& command, std::ostream& out, std::ostream& err) {
    if (std::filesystem::exists(command.file)) {
        err << "score-service admin: " << command.file << " exists; back up to a new file\n";
        return 1;
    }
    try {
        SQLite::Database source(command.database, SQLite::OPEN_READONLY);
        SQLite::Database target(command.file, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        SQLite::Backup copy(target, source);
        // One step: the copy is a single consistent snapshot, and in WAL
        // mode the service keeps writing meanwhile.
        copy.executeStep(-1);
        out << "backed up " << command.database << " to " << command.file << " ("
            << copy.getTotalPageCount() << " pages)\n";
        return 0;
    } catch (const std::exception& error) {
        std::error_code ignored;
        std::filesystem::remove(command.file, ignored);
        err << "score-service admin: backup to " << command.file << " failed: " << error.what()
            << "\n";
        return 1;
    }
}

int dispatch(const AdminCommand& command, std::ostream& out, std::ostream& err) {
    const bool reads = command.verb == "list" || command.verb == "show" ||
                       command.verb == "export" || command.verb == "backup";
    auto opened = open(command.database, !reads);
    if (const auto* error = std::get_if<std::string>(&opened)) {
        err << "score-service admin: " << *error << "\n";
        return 1;
    }
    auto& db = std::get<Opened>(opened);
    if (command.verb == "backup") {
        if (db.engine.postgres) {
            err << "score-service admin: backup copies a SQLite database; for PostgreSQL use "
                   "pg_dump (see README)\n";
            return 1;
        }
        return backup(command, out, err);
    }
    if (command.verb == "list" || command.verb == "export") {
        return list(db, command, out, err);
    }
    return command.verb == "show" ? show(db, command, out, err) : change(db, command, out, err);
}

} // namespace

int runAdmin(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto parsed = parseAdmin(args);
    if (const auto* informed = std::get_if<Informed>(&parsed)) {
        out << informed->text;
        return 0;
    }
    if (const auto* refused = std::get_if<Refused>(&parsed)) {
        err << "score-service admin: " << refused->reason << " (see score-service admin --help)\n";
        return 2;
    }
    try {
        return dispatch(std::get<AdminCommand>(parsed), out, err);
    } catch (const std::exception& error) {
        err << "score-service admin: database: " << error.what() << "\n";
        return 1;
    }
}

} // namespace service
