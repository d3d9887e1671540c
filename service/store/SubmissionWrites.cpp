// How SqlScoreStore writes submissions: a batch at a time (see GroupCommit).
#include "service/store/RecordColumns.h"
#include "service/store/SqlScoreStore.h"

#include <set>

namespace service {
namespace {

// Stores a record on the board, with why the review holds it if it does.
SqlStatement insertStatement(const SqlScoreStore::Submission& submission,
                             const std::optional<Hold>& hold) {
    static const std::string insert =
        "INSERT INTO scores (received_at, " + kPayloadColumns +
        ", client_product, client_version, review_reason, review_figures) VALUES (?, "
        "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id";
    const auto text = [](const std::string& value) -> SqlValue {
        return value.empty() ? SqlValue{nullptr} : SqlValue{value};
    };
    const auto& p = submission.payload;
    return {insert,
            {submission.receivedAt, p.device_name, p.chip_type, p.ram_gb, p.xcode_build_sec,
             p.resin_slicer_sec, p.max_temp_c, p.swap_used_mb, text(submission.client.product),
             text(submission.client.version), hold ? SqlValue{hold->reason} : SqlValue{nullptr},
             hold ? SqlValue{hold->figures} : SqlValue{nullptr}}};
}

std::int64_t insertedId(const std::vector<SqlRow>& rows) {
    return asInteger(rows.at(0).at(0));
}

} // namespace

std::optional<Placement> SqlScoreStore::add(const submission::Payload& payload,
                                            const std::string& receivedAt,
                                            const ClientVersion& client) {
    return commits_.submit(Submission{payload, receivedAt, client});
}

std::vector<std::optional<Placement>>
SqlScoreStore::addBatch(const std::vector<const Submission*>& batch) {
    const auto started = std::chrono::steady_clock::now();
    std::optional<Placements> placed;
    auto atOnce = writeAtOnce(batch);
    if (atOnce && *atOnce) {
        placed = std::move(*atOnce);
    } else if (atOnce) {
        placed = writeInTurn(batch, false);
    }
    // Savepoints cost two statements a record, so a batch goes without them
    // until it failed; then each record is written alone.
    if (!placed && batch.size() > 1) {
        placed = writeInTurn(batch, true);
    }
    if (!placed) {
        return Placements(batch.size());
    }
    if (onBatch_) {
        onBatch_(batch.size(), std::chrono::duration_cast<std::chrono::microseconds>(
                                   std::chrono::steady_clock::now() - started));
    }
    return std::move(*placed);
}

// Each processor's count row, taken in one order by every writer: no other
// writer can change a processor's records until the commit, so each record's
// reads agree with each other and with its insert, and two instances never
// wait on each other's rows crosswise.
std::map<std::string, std::int64_t>
SqlScoreStore::takeChips(SqlConnection& connection, const std::vector<const Submission*>& batch) {
    std::map<std::string, std::int64_t> counts;
    for (const auto* submission : batch) {
        counts.emplace(submission->payload.chip_type, 0);
    }
    for (auto& [chip, count] : counts) {
        const auto rows = connection.run(dialect_.takeChip, {chip});
        count = rows.empty() ? 0 : asInteger(rows.at(0).at(0));
    }
    return counts;
}

bool SqlScoreStore::judgedClean(const std::vector<const Submission*>& batch,
                                std::map<std::string, std::int64_t> counts) {
    for (const auto* submission : batch) {
        const auto& p = submission->payload;
        const auto figures = reviewFigures_.kept(p.chip_type, counts[p.chip_type]++);
        if (!figures || reviewTime(p.xcode_build_sec, *figures)) {
            return false;
        }
    }
    return true;
}

// Each record's place, then its insert, all sent at once: the server runs
// them in order, so every place counts the batch's records before it. Taken
// only when judging each record needs nothing but the counts, so that the
// judgements are those the batch would meet in turn.
std::optional<std::optional<SqlScoreStore::Placements>>
SqlScoreStore::writeAtOnce(const std::vector<const Submission*>& batch) {
    return pool_.with([&](SqlConnection& connection) -> std::optional<Placements> {
        Transaction transaction(connection, dialect_.beginWrite);
        if (!judgedClean(batch, takeChips(connection, batch))) {
            return std::nullopt; // nothing written: rolled back, to be written in turn
        }
        std::vector<SqlStatement> statements;
        for (const auto* submission : batch) {
            const auto& p = submission->payload;
            statements.push_back(placeStatement(p.chip_type, p.xcode_build_sec));
            statements.push_back(insertStatement(*submission, std::nullopt));
        }
        const auto answers = connection.runAll(statements);
        Placements placed;
        for (std::size_t i = 0; i < batch.size(); ++i) {
            const auto [rank, before] = placeFrom(answers.at(2 * i));
            placed.emplace_back(
                Placement{insertedId(answers.at(2 * i + 1)), rank, before + 1, false});
        }
        transaction.commit();
        return placed;
    });
}

std::optional<SqlScoreStore::Placements>
SqlScoreStore::writeInTurn(const std::vector<const Submission*>& batch, bool alone) {
    return pool_.with([&](SqlConnection& connection) {
        Placements placed;
        Transaction transaction(connection, dialect_.beginWrite);
        takeChips(connection, batch);
        for (const auto* submission : batch) {
            placed.push_back(alone ? addAlone(connection, *submission)
                                   : addOne(connection, *submission));
        }
        transaction.commit();
        return placed;
    });
}

// One record of a batch, behind a savepoint: a record the database refuses
// fails alone, and its neighbours still commit.
std::optional<Placement> SqlScoreStore::addAlone(SqlConnection& connection,
                                                 const Submission& submission) {
    connection.run("SAVEPOINT record", {});
    try {
        auto placement = addOne(connection, submission);
        connection.run("RELEASE SAVEPOINT record", {});
        return placement;
    } catch (const std::exception& error) {
        // Should this fail too, the connection is gone and the whole batch with it.
        connection.run("ROLLBACK TO SAVEPOINT record", {});
        connection.run("RELEASE SAVEPOINT record", {});
        onError_(std::string("database: ") + error.what());
        return std::nullopt;
    }
}

// Placed and judged against the board as it was just before this record
// (the batch's earlier records included), which no other writer can change
// before the commit: its rank among those is its rank once inserted, as a
// time is never faster than itself.
std::optional<Placement> SqlScoreStore::addOne(SqlConnection& connection,
                                               const Submission& submission) {
    const auto& p = submission.payload;
    const auto [rank, before] = placeOf(connection, p.chip_type, p.xcode_build_sec);
    const auto hold = reviewTime(p.xcode_build_sec,
                                 reviewFigures_.read(connection, dialect_, p.chip_type, before));
    const auto insert = insertStatement(submission, hold);
    const auto id = insertedId(connection.run(insert.sql, insert.params));
    if (hold) {
        // Ranked as if on the board, then taken off it; the triggers take it
        // out of the counts again.
        moveOffBoard(connection, id, kHeld);
    }
    return Placement{id, rank, before + 1, hold.has_value()};
}

} // namespace service
