#pragma once

#include "service/store/ConnectionPool.h"
#include "service/store/GroupCommit.h"
#include "service/store/PageReads.h"
#include "service/store/ProcessorReads.h"
#include "service/store/ReviewSql.h"
#include "service/store/ScoreStore.h"
#include "service/store/Sql.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <map>

namespace service {

// How long a batch whose COMMIT went unanswered keeps trying to learn what
// it stored, while the database cannot be reached.
struct WritePatience {
    std::chrono::milliseconds settle{5000};
    std::chrono::milliseconds pause{250}; // between two tries
};

// The store over either engine: one set of queries, the engine's differences
// in its Dialect, its connections in a ConnectionPool. Submissions that arrive
// together are committed together (GroupCommit).
class SqlScoreStore final : public ScoreStore {
public:
    using Connect = ConnectionPool::Connect;
    using ErrorSink = ConnectionPool::ErrorSink;
    // After each committed batch of submissions: how many it held, and how
    // long writing it took, from its first statement to its commit (a
    // second try included).
    using BatchSink = std::function<void(std::size_t records, std::chrono::microseconds)>;

    struct Submission {
        const submission::Payload& payload;
        const std::string& receivedAt;
        const ClientVersion& client;
        std::int64_t key; // stored with the record, unique: what a retry looks for
    };
    using Batch = std::vector<const Submission*>;

    // How a submission of a batch ended.
    struct Written {
        std::optional<Placement> placement; // nothing: not stored
        // Its processor's count row was held elsewhere, so it left the batch
        // unwritten, to be written alone.
        bool blocked = false;
        // The ids that tries whose COMMIT went unanswered gave it: while it
        // is not found stored, it may be under one of them.
        std::vector<std::int64_t> mayBeStoredAs;
    };

    // `onUncertain` hears of records that may be stored though answered as
    // not; without it `onError` does.
    SqlScoreStore(const Dialect& dialect, Connect connect, ErrorSink onError,
                  BatchSink onBatch = {}, WritePatience patience = {}, ErrorSink onUncertain = {});

    // Creates the schema or brings it up to date. Throws when it cannot.
    void migrate();

    using ScoreStore::add;
    std::optional<Placement> add(const submission::Payload& payload, const std::string& receivedAt,
                                 const ClientVersion& client) override;
    // Judges and stores `batch` in one transaction, in its order, each record
    // seeing the ones before it. A record that fails is rolled back alone;
    // when the transaction fails, every record has nothing. Each record is
    // stored at most once, whatever fails: after a commit whose answer never
    // came, what it stored is read back before anything is written again.
    // `patient`: wait for held count rows instead of leaving them blocked;
    // `before`: how earlier tries left each record, if any did.
    std::vector<Written> addBatch(const Batch& batch, bool patient = false,
                                  std::vector<Written> before = {});
    std::optional<std::int64_t> records(const std::optional<std::string>& chip) override;
    std::optional<BoardCounts> counts() override;
    std::optional<Listing> listing(const std::optional<std::string>& chip, int limit,
                                   std::int64_t offset) override;
    std::optional<std::optional<ResultData>> result(std::int64_t id, int bins) override;
    std::optional<LeaderboardData> leaderboard(const std::optional<std::string>& chip, int rows,
                                               std::int64_t offset, int bins) override;
    std::optional<ProcessorList> processors(const ProcessorQuery& query) override;
    std::optional<std::optional<ProcessorData>> processor(const std::string& chip, int rows,
                                                          std::int64_t offset, int bins) override;
    std::optional<Comparison> comparison(const std::string& a, const std::string& b,
                                         int bins) override;
    std::optional<BoardTally> boardTally() override;
    bool reachable() override;
    void closeWrites() override { commits_.close(); }

private:
    using Placements = std::vector<std::optional<Placement>>;
    using Counts = std::map<std::string, std::int64_t>;
    // How one try at writing a batch in one transaction ended.
    struct Attempt {
        // declined: nothing written, the batch needs writing in turn; busy:
        // nothing written, `busyChip`'s count row is held elsewhere; unknown:
        // COMMIT was sent and its answer never came.
        enum class End { committed, failed, unknown, declined, busy } end = End::failed;
        Placements placed; // committed: one per record; unknown: those made before COMMIT
        std::string busyChip;
    };
    // How a try writes, once its transaction holds the batch's count rows.
    using Work = std::function<bool(SqlConnection&, Counts&, Placements&)>;
    Attempt attempt(const Batch& batch, bool patient, const Work& work);
    // At once: every statement sent before the first answer is read;
    // declined when some record needs more of the board read to be judged,
    // or is held. In turn: each record read, judged and stored before the
    // next, with `alone` each behind a savepoint, and first looked up where
    // `uncertain` says an earlier try may have stored it.
    Attempt writeAtOnce(const Batch& batch, bool patient);
    Attempt writePlainly(const Batch& batch, bool patient); // at once, else in turn
    void noteBatch(std::size_t records, std::chrono::steady_clock::time_point started);
    Attempt writeInTurn(const Batch& batch, bool patient, bool alone,
                        const std::vector<bool>& uncertain);
    // Takes the batch's processors' count rows, in one order; their counts,
    // or nothing with `busy` named when one was held elsewhere (not `patient`).
    std::optional<Counts> takeChips(SqlConnection& connection, const Batch& batch, bool patient,
                                    std::string& busy);
    // When every record of the batch, met in turn from `counts`, would be
    // judged from the kept figures alone and left on the board: the median
    // each was judged against.
    std::optional<std::vector<double>> judgedClean(const Batch& batch, Counts counts);
    // A processor's median for a reply, given the review's figures for the
    // `before` records it had.
    std::optional<double> medianBefore(SqlConnection& connection, const std::string& chip,
                                       std::int64_t before, const ReviewFigures& figures);
    std::optional<Placement> addOne(SqlConnection& connection, const Submission& submission);
    std::optional<Placement> addAlone(SqlConnection& connection, const Submission& submission);
    // The record stored under the submission's key, placed where it stands now.
    std::optional<Placement> findStored(SqlConnection& connection, const Submission& submission);
    // Names, for the operator, records that may be stored though answered as not.
    void reportUncertain(const std::vector<std::int64_t>& ids);
    std::int64_t nextKey();
    // Of the batch's processors, those whose names this store has not written.
    std::vector<std::string> unnamed(const Counts& counts);
    // A time's rank among its processor's records, and their number, from the kept counts.
    std::pair<std::int64_t, std::int64_t> placeOf(SqlConnection& connection,
                                                  const std::string& chip, double seconds);
    SqlStatement placeStatement(const std::string& chip, double seconds) const;
    static std::pair<std::int64_t, std::int64_t> placeFrom(const std::vector<SqlRow>& rows);
    std::vector<StoredScore> bestIn(SqlConnection& connection,
                                    const std::optional<std::string>& chip, int limit,
                                    std::int64_t offset);
    // Records (of `chip` when set) faster than `first`, which a list begins with.
    std::int64_t fasterThan(SqlConnection& connection, const std::optional<std::string>& chip,
                            const StoredScore& first);
    // Those of the processors named `chip` but for letter case.
    Listing bestFolded(SqlConnection& connection, const std::string& chip, int limit,
                       std::int64_t offset);
    // A processor's count, figures and held results; nothing without results on the board.
    std::optional<ProcessorData> figures(SqlConnection& connection, const std::string& chip);

    const Dialect& dialect_;
    std::string rankQuery_;
    ConnectionPool pool_;
    ErrorSink onError_;
    ErrorSink onUncertain_;
    BatchSink onBatch_;
    ProcessorSpreads spreads_;
    Memo<bool> named_{ProcessorSpreads::kMaxKept}; // processors whose names this store wrote
    ReviewFigureSource reviewFigures_;
    WritePatience patience_;
    std::uint64_t keySalt_;
    std::atomic<std::uint64_t> keysMade_{0};
    GroupCommit<Submission, Written> commits_;
};

// Processors the leaderboard lists, those with most results: the processors
// page lists every one.
inline constexpr int kTopChips = 12;

// Submissions written in one transaction at most; with the request threads
// (--threads) waiting on it, a batch seldom reaches this.
inline constexpr std::size_t kMaxSubmissionsPerCommit = 256;

// A database's engine and how to connect to it: PostgreSQL for the forms
// `databaseForm` takes as PostgreSQL, otherwise a SQLite file path.
struct Engine {
    const Dialect& dialect;
    SqlScoreStore::Connect connect;
    bool postgres;
};
Engine engineFor(const std::string& database);

// Throws, with the reason, when the database cannot be opened or its schema
// cannot be brought up to date.
std::unique_ptr<ScoreStore> openStore(const std::string& database, SqlScoreStore::ErrorSink onError,
                                      SqlScoreStore::BatchSink onBatch = {},
                                      SqlScoreStore::ErrorSink onUncertain = {});

} // namespace service
