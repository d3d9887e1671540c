#pragma once

#include "service/store/ConnectionPool.h"
#include "service/store/GroupCommit.h"
#include "service/store/PageReads.h"
#include "service/store/ReviewSql.h"
#include "service/store/ScoreStore.h"
#include "service/store/Sql.h"

#include <chrono>
#include <functional>
#include <map>

namespace service {

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
    };

    SqlScoreStore(const Dialect& dialect, Connect connect, ErrorSink onError,
                  BatchSink onBatch = {});

    // Creates the schema or brings it up to date. Throws when it cannot.
    void migrate();

    using ScoreStore::add;
    std::optional<Placement> add(const submission::Payload& payload, const std::string& receivedAt,
                                 const ClientVersion& client) override;
    // Judges and stores `batch` in one transaction, in its order, each record
    // seeing the ones before it. A record that fails is rolled back alone;
    // when the transaction fails, every record has nothing.
    std::vector<std::optional<Placement>> addBatch(const std::vector<const Submission*>& batch);
    std::optional<std::int64_t> records(const std::optional<std::string>& chip) override;
    std::optional<Listing> listing(const std::optional<std::string>& chip, int limit,
                                   std::int64_t offset) override;
    std::optional<std::optional<ResultData>> result(std::int64_t id, int bins) override;
    std::optional<PageData> page(const std::optional<std::string>& chip, int rows,
                                 std::int64_t offset, int bins) override;
    bool reachable() override;
    void closeWrites() override { commits_.close(); }

private:
    using Placements = std::vector<std::optional<Placement>>;
    // Each writes the batch in one transaction and answers nothing when it
    // failed. At once: every statement sent before the first answer is read;
    // an empty inner answer, with nothing written, when some record needs
    // more of the board read to be judged, or is held. In turn: each record
    // read, judged and stored before the next, with `alone` each behind a
    // savepoint.
    std::optional<std::optional<Placements>>
    writeAtOnce(const std::vector<const Submission*>& batch);
    std::optional<Placements> writeInTurn(const std::vector<const Submission*>& batch, bool alone);
    // Takes the batch's processors' count rows, in one order; their counts.
    std::map<std::string, std::int64_t> takeChips(SqlConnection& connection,
                                                  const std::vector<const Submission*>& batch);
    // Whether every record of the batch, met in turn from `counts`, would be
    // judged from the kept figures alone and left on the board.
    bool judgedClean(const std::vector<const Submission*>& batch,
                     std::map<std::string, std::int64_t> counts);
    std::optional<Placement> addOne(SqlConnection& connection, const Submission& submission);
    std::optional<Placement> addAlone(SqlConnection& connection, const Submission& submission);
    // A time's rank among its processor's records, and their number, from the kept counts.
    std::pair<std::int64_t, std::int64_t> placeOf(SqlConnection& connection,
                                                  const std::string& chip, double seconds);
    SqlStatement placeStatement(const std::string& chip, double seconds) const;
    static std::pair<std::int64_t, std::int64_t> placeFrom(const std::vector<SqlRow>& rows);
    std::vector<StoredScore> bestIn(SqlConnection& connection,
                                    const std::optional<std::string>& chip, int limit,
                                    std::int64_t offset);

    const Dialect& dialect_;
    std::string rankQuery_;
    ConnectionPool pool_;
    ErrorSink onError_;
    BatchSink onBatch_;
    ChipSummaries summaries_;
    ReviewFigureSource reviewFigures_;
    GroupCommit<Submission, std::optional<Placement>> commits_;
};

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
                                      SqlScoreStore::BatchSink onBatch = {});

} // namespace service
