#pragma once

#include "service/store/GroupCommit.h"
#include "service/store/PageReads.h"
#include "service/store/ReviewSql.h"
#include "service/store/ScoreStore.h"
#include "service/store/Sql.h"

#include <chrono>
#include <functional>
#include <mutex>

namespace service {

// The store over either engine: one set of queries, the engine's differences
// in its Dialect. Connections are opened on demand, one per concurrent caller,
// and a connection that failed is dropped, so the next call reconnects. A
// pooled connection the server closed while idle (a restart) costs no failure:
// its work runs once more on a new connection, as nothing of it was done.
// Submissions that arrive together are committed together (GroupCommit).
class SqlScoreStore final : public ScoreStore {
public:
    using Connect = std::function<std::unique_ptr<SqlConnection>()>;
    using ErrorSink = std::function<void(const std::string&)>;
    // After each batch of submissions: how many it held, and how long its
    // write transaction took, from its first statement to its commit.
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

private:
    // Runs `work` on a pooled connection; nothing when it throws.
    template <class Work>
    auto withConnection(Work work) -> std::optional<decltype(work(std::declval<SqlConnection&>()))>;

    void giveBack(std::unique_ptr<SqlConnection> connection);
    // Nothing when the transaction failed; with `alone`, each record behind a savepoint.
    std::optional<std::vector<std::optional<Placement>>>
    writeBatch(const std::vector<const Submission*>& batch, bool alone);
    std::optional<Placement> addOne(SqlConnection& connection, const Submission& submission);
    std::optional<Placement> addAlone(SqlConnection& connection, const Submission& submission);
    // A time's rank among its processor's records, and their number, from the kept counts.
    std::pair<std::int64_t, std::int64_t> placeOf(SqlConnection& connection,
                                                  const std::string& chip, double seconds);
    std::vector<StoredScore> bestIn(SqlConnection& connection,
                                    const std::optional<std::string>& chip, int limit,
                                    std::int64_t offset);

    const Dialect& dialect_;
    std::string rankQuery_;
    Connect connect_;
    ErrorSink onError_;
    BatchSink onBatch_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<SqlConnection>> idle_;
    ChipSummaries summaries_;
    ReviewFigureSource reviewFigures_;
    GroupCommit<Submission, std::optional<Placement>> commits_;
};

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
std::unique_ptr<ScoreStore> openStore(const std::string& database,
                                      SqlScoreStore::ErrorSink onError,
                                      SqlScoreStore::BatchSink onBatch = {});

} // namespace service
