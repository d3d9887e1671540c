#include "service/admin/Admin.h"

#include "service/admin/AdminRecords.h"
#include "service/rules/Format.h"
#include "service/store/OperatorStore.h"
#include "service/store/ReviewSql.h"

#include <filesystem>
#include <ostream>

namespace service {
namespace {

// What a command does to a record in `state`, or why it refuses.
struct Action {
    std::optional<RecordChange> change; // nothing: refused
    std::string said;
};

Action decide(const std::string& verb, const std::string& state) {
    if (verb == "delete") {
        return {RecordChange::remove, "deleted"};
    }
    if (verb == "approve") {
        return state == kHeld ? Action{RecordChange::onBoard, "approved; it is on the board"}
                              : Action{std::nullopt, "is not held for review (it is " + state +
                                                         "); approve takes held records"};
    }
    if (verb == "restore") {
        return state == kHidden ? Action{RecordChange::onBoard, "restored; it is on the board"}
                                : Action{std::nullopt, "is not hidden (it is " + state +
                                                           "); restore takes hidden records"};
    }
    if (state == kHidden) {
        return {std::nullopt, "is already hidden"};
    }
    return state == kHeld ? Action{RecordChange::markHidden, "hidden (it was held for review)"}
                          : Action{RecordChange::offBoard, "hidden; it is off the board"};
}

int change(OperatorStore& store, const AdminCommand& command, std::ostream& out,
           std::ostream& err) {
    Action action{std::nullopt, "does not exist"};
    const auto found = store.change(command.id, [&](const std::optional<OperatorRecord>& record) {
        action = record ? decide(command.verb, record->state) : action;
        return action.change;
    });
    if (!action.change) {
        err << "score-service admin: record " << command.id << " " << action.said << "\n";
        return 1;
    }
    out << "record " << command.id << " (" << found->score.payload.chip_type << ", score "
        << formatSeconds(found->score.payload.xcode_build_sec) << ") " << action.said << "\n";
    return 0;
}

int show(OperatorStore& store, const AdminCommand& command, std::ostream& out, std::ostream& err) {
    const auto found = store.find(command.id);
    if (!found) {
        err << "score-service admin: record " << command.id << " does not exist\n";
        return 1;
    }
    writeShow(out, *found);
    return 0;
}

int list(OperatorStore& store, const AdminCommand& command, std::ostream& out, std::ostream& err) {
    const bool exporting = command.verb == "export";
    const bool csv = command.format == "csv";
    if (exporting && csv) {
        writeCsvHeader(out);
    }
    const RecordFilter filter{command.heldOnly, command.chip, command.since, command.clientVersion};
    const auto count = store.forEach(filter, [&](const OperatorRecord& record) {
        !exporting ? writeListLine(out, record)
        : csv      ? writeCsv(out, record)
                   : writeJsonl(out, record);
    });
    // The count goes apart from the records, so that a pipe takes the records alone.
    err << (exporting ? "exported " : "listed ") << count
        << (count == 1 ? " record\n" : " records\n");
    return out.good() ? 0 : 1;
}

int backup(OperatorStore& store, const AdminCommand& command, std::ostream& out,
           std::ostream& err) {
    if (store.postgres()) {
        err << "score-service admin: backup copies a SQLite database; for PostgreSQL use "
               "pg_dump (see README)\n";
        return 1;
    }
    if (std::filesystem::exists(command.file)) {
        err << "score-service admin: " << command.file << " exists; back up to a new file\n";
        return 1;
    }
    const auto copied = store.backup(command.file);
    if (const auto* error = std::get_if<std::string>(&copied)) {
        err << "score-service admin: backup to " << command.file << " failed: " << *error << "\n";
        return 1;
    }
    out << "backed up " << command.database << " to " << command.file << " ("
        << std::get<std::int64_t>(copied) << " pages)\n";
    return 0;
}

int dispatch(const AdminCommand& command, std::ostream& out, std::ostream& err) {
    const bool reads = command.verb == "list" || command.verb == "show" ||
                       command.verb == "export" || command.verb == "backup";
    auto opened = OperatorStore::open(command.database, !reads);
    if (const auto* error = std::get_if<std::string>(&opened)) {
        err << "score-service admin: " << *error << "\n";
        return 1;
    }
    auto& store = *std::get<std::unique_ptr<OperatorStore>>(opened);
    if (command.verb == "backup") {
        return backup(store, command, out, err);
    }
    if (command.verb == "list" || command.verb == "export") {
        return list(store, command, out, err);
    }
    return command.verb == "show" ? show(store, command, out, err)
                                  : change(store, command, out, err);
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
