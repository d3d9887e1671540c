// How SqlScoreStore writes a batch of submissions in one transaction (see
// GroupCommit); BatchRounds.cpp decides which tries a batch gets.
#include "service/store/RecordColumns.h"
#include "service/store/SqlScoreStore.h"

namespace service {
namespace {

// Stores a record on the board, with why the review holds it if it does.
SqlStatement insertStatement(const SqlScoreStore::Submission& submission,
                             const std::optional<Hold>& hold) {
    return {kInsertScore, submissionValues(submission.receivedAt, submission.payload,
                                           submission.client, hold, submission.key)};
}

// A key is the submission's only if the record under it is of the same
// processor and time: keys of another instance's past could coincide.
const std::string kStoredUnderKey =
    "SELECT id, 0 FROM scores WHERE submission_key = ? AND chip_type = ? AND xcode_build_sec = ? "
    "UNION ALL SELECT id, 1 FROM withheld WHERE submission_key = ? AND chip_type = ? AND "
    "xcode_build_sec = ?";

const std::string kTimesOf = "SELECT xcode_build_sec FROM scores WHERE chip_type = ?";

std::int64_t insertedId(const std::vector<SqlRow>& rows) {
    return asInteger(rows.at(0).at(0));
}

} // namespace

// One try, in one transaction that first takes the batch's count rows; how
// it ended. COMMIT sent without an answer leaves its outcome unknown.
SqlScoreStore::Attempt SqlScoreStore::attempt(const Batch& batch, bool patient, const Work& work) {
    Attempt tried;
    bool committing = false;
    const auto done = pool_.with([&](SqlConnection& connection) {
        tried = Attempt{}; // the pool may run this again on a new connection
        Transaction transaction(connection, dialect_.beginWrite);
        auto counts = takeChips(connection, batch, patient, tried.busyChip);
        if (!counts) {
            return false; // rolled back, nothing written
        }
        const auto names = unnamed(*counts);
        nameChips(connection, names);
        if (!work(connection, *counts, tried.placed)) {
            return false;
        }
        committing = true;
        transaction.commit();
        for (const auto& chip : names) {
            named_.get(
                chip, [](bool) { return true; }, [] { return true; });
        }
        return true;
    });
    using End = Attempt::End;
    if (done) {
        tried.end = *done ? End::committed : tried.busyChip.empty() ? End::declined : End::busy;
    } else {
        tried.end = committing ? End::unknown : End::failed;
    }
    return tried;
}

// Each processor's count row, taken in one order by every writer: no other
// writer can change a processor's records until the commit, so each record's
// reads agree with each other and with its insert, and two instances never
// wait on each other's rows crosswise.
std::optional<SqlScoreStore::Counts> SqlScoreStore::takeChips(SqlConnection& connection,
                                                              const Batch& batch, bool patient,
                                                              std::string& busy) {
    Counts counts;
    for (const auto* submission : batch) {
        counts.emplace(submission->payload.chip_type, 0);
    }
    for (auto& [chip, count] : counts) {
        try {
            const auto rows =
                connection.run(patient ? dialect_.takeChip : dialect_.takeChipPromptly, {chip});
            count = rows.empty() ? 0 : asInteger(rows.at(0).at(0));
        } catch (const LockNotAvailable&) {
            if (patient) {
                throw;
            }
            busy = chip;
            return std::nullopt;
        }
    }
    return counts;
}

std::vector<std::string> SqlScoreStore::unnamed(const Counts& counts) {
    std::vector<std::string> names;
    for (const auto& [chip, count] : counts) {
        if (!named_.find(chip, [](bool) { return true; })) {
            names.push_back(chip);
        }
    }
    return names;
}

std::optional<std::vector<double>> SqlScoreStore::judgedClean(const Batch& batch, Counts counts) {
    std::vector<double> medians;
    for (const auto* submission : batch) {
        const auto& p = submission->payload;
        const auto figures = reviewFigures_.kept(p.chip_type, counts[p.chip_type]++);
        if (!figures || reviewTime(p.xcode_build_sec, *figures)) {
            return std::nullopt;
        }
        medians.push_back(figures->median);
    }
    return medians;
}

// Past kReviewMinRecords the review's own quartiles hold the median; below,
// the few times are read whole.
std::optional<double> SqlScoreStore::medianBefore(SqlConnection& connection,
                                                  const std::string& chip, std::int64_t before,
                                                  const ReviewFigures& figures) {
    if (before >= kReviewMinRecords) {
        return figures.median;
    }
    if (before < kFewResults) {
        return std::nullopt;
    }
    std::vector<double> times;
    for (const auto& row : connection.run(kTimesOf, {chip})) {
        times.push_back(asNumber(row.at(0)));
    }
    const auto count = static_cast<std::int64_t>(times.size());
    return spreadOf(count, [&](std::int64_t k) { return times.at(static_cast<std::size_t>(k)); })
        .median;
}

// Each record's place, then its insert, all sent at once: the server runs
// them in order, so every place counts the batch's records before it. Taken
// only when judging each record needs nothing but the counts, so that the
// judgements are those the batch would meet in turn.
SqlScoreStore::Attempt SqlScoreStore::writeAtOnce(const Batch& batch, bool patient) {
    const Work send = [&](SqlConnection& connection, Counts& counts, Placements& placed) {
        const auto medians = judgedClean(batch, counts);
        if (!medians) {
            return false;
        }
        std::vector<SqlStatement> statements;
        for (const auto* submission : batch) {
            const auto& p = submission->payload;
            statements.push_back(placeStatement(p.chip_type, p.xcode_build_sec));
            statements.push_back(insertStatement(*submission, std::nullopt));
        }
        const auto answers = connection.runAll(statements);
        for (std::size_t i = 0; i < batch.size(); ++i) {
            const auto [rank, before] = placeFrom(answers.at(2 * i));
            placed.emplace_back(Placement{insertedId(answers.at(2 * i + 1)), rank, before + 1,
                                          false, medians->at(i)});
        }
        return true;
    };
    return attempt(batch, patient, send);
}

SqlScoreStore::Attempt SqlScoreStore::writeInTurn(const Batch& batch, bool patient, bool alone,
                                                  const std::vector<bool>& uncertain) {
    return attempt(batch, patient, [&](SqlConnection& connection, Counts&, Placements& placed) {
        for (std::size_t i = 0; i < batch.size(); ++i) {
            std::optional<Placement> stored;
            if (i < uncertain.size() && uncertain[i]) {
                stored = findStored(connection, *batch[i]);
            }
            if (!stored) {
                stored = alone ? addAlone(connection, *batch[i]) : addOne(connection, *batch[i]);
            }
            placed.push_back(stored);
        }
        return true;
    });
}

// Read after the count rows were taken, so after any transaction that still
// held them (a commit under way when its connection broke) has ended.
std::optional<Placement> SqlScoreStore::findStored(SqlConnection& connection,
                                                   const Submission& submission) {
    const auto& p = submission.payload;
    const auto rows =
        connection.run(kStoredUnderKey, {submission.key, p.chip_type, p.xcode_build_sec,
                                         submission.key, p.chip_type, p.xcode_build_sec});
    if (rows.empty()) {
        return std::nullopt;
    }
    const bool held = asInteger(rows[0].at(1)) != 0;
    const auto [rank, total] = placeOf(connection, p.chip_type, p.xcode_build_sec);
    return Placement{asInteger(rows[0].at(0)), rank, held ? total + 1 : total, held, std::nullopt};
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
    const auto figures = reviewFigures_.read(connection, dialect_, p.chip_type, before);
    const auto hold = reviewTime(p.xcode_build_sec, figures);
    const auto median = medianBefore(connection, p.chip_type, before, figures);
    const auto insert = insertStatement(submission, hold);
    const auto id = insertedId(connection.run(insert.sql, insert.params));
    if (hold) {
        // Ranked as if on the board, then taken off it; the triggers take it
        // out of the counts again.
        moveOffBoard(connection, id, kHeld);
    }
    return Placement{id, rank, before + 1, hold.has_value(), median};
}

} // namespace service
