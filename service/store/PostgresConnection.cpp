#include "service/store/PostgresValues.h"
#include "service/store/Sql.h"
#include "service/store/StatementCache.h"

#include <cerrno>
#include <chrono>
#include <libpq-fe.h>
#include <memory>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <string>

namespace service {
namespace {

constexpr std::string_view kLockNotAvailable = "55P03"; // SQLSTATE of a lock timeout

struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

class PostgresConnection final : public SqlConnection {
public:
    explicit PostgresConnection(const std::string& url) : connection_(connect(url)) {
        if (connection_ == nullptr || PQstatus(connection_.get()) != CONNECTION_OK) {
            throw std::runtime_error(connection_ ? PQerrorMessage(connection_.get())
                                                 : "out of memory");
        }
        // libpq prints the server's notices ("relation … already exists,
        // skipping") on stderr, outside the service's log lines; they report
        // nothing wrong, so they are dropped.
        PQsetNoticeProcessor(
            connection_.get(), [](void*, const char*) {}, nullptr);
        run("SET TIME ZONE 'UTC'", {});
        // A request thread waits at most this long for a working database,
        // then answers 503; run() waits a little longer for a silent one.
        run("SET statement_timeout = '5s'", {});
    }

    std::vector<SqlRow> run(std::string_view sql, const std::vector<SqlValue>& params) override {
        send(sql, params, prepared(sql));
        Result result = awaitResult();
        const auto status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            const char* state =
                result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
            if (state != nullptr && std::string_view(state) == kLockNotAvailable) {
                throw LockNotAvailable(PQerrorMessage(connection_.get()));
            }
            throw std::runtime_error(PQerrorMessage(connection_.get()));
        }
        if (sql.starts_with("SET statement_timeout") ||
            sql.starts_with("SET LOCAL statement_timeout")) {
            followStatementTimeout();
        }
        return rowsOf(result.get());
    }

    // In pipeline mode: every statement goes out before the first answer is
    // read, so a batch costs one round trip to the server, not one each.
    std::vector<std::vector<SqlRow>> runAll(const std::vector<SqlStatement>& statements) override {
        const auto names = preparedNames(statements);
        if (!names) {
            return SqlConnection::runAll(statements);
        }
        PGconn* connection = connection_.get();
        if (PQenterPipelineMode(connection) == 0) {
            throw std::runtime_error(PQerrorMessage(connection));
        }
        for (std::size_t i = 0; i < statements.size(); ++i) {
            send(statements[i].sql, statements[i].params, &(*names)[i]);
        }
        if (PQpipelineSync(connection) == 0) {
            throw std::runtime_error(PQerrorMessage(connection));
        }
        return pipelineAnswers(statements.size());
    }

    bool closedByServer() const override {
        return !silent_ && PQstatus(connection_.get()) == CONNECTION_BAD;
    }

    std::optional<std::string> writeBlocker() override {
        const auto rows = run("SELECT pg_is_in_recovery() OR "
                              "current_setting('transaction_read_only') = 'on'",
                              {});
        if (rows.at(0).at(0) == SqlValue{std::string("t")}) {
            return "the database accepts no writes (a standby, or read-only)";
        }
        return std::nullopt;
    }

private:
    using Clock = std::chrono::steady_clock;
    // The names every statement is prepared under at once; nothing when one
    // cannot be prepared. Once more should preparing one drop the others kept
    // (a full cache): then there is room for all of them.
    std::optional<std::vector<std::string>>
    preparedNames(const std::vector<SqlStatement>& statements) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            const auto dropped = dropped_;
            std::vector<std::string> names;
            for (const auto& statement : statements) {
                const std::string* name = prepared(statement.sql);
                if (name == nullptr) {
                    return std::nullopt;
                }
                names.push_back(*name);
            }
            if (dropped_ == dropped) {
                return names;
            }
        }
        throw std::runtime_error("too many distinct statements for one pipeline");
    }

    // Reads `count` answers and the pipeline's end; the first failure is thrown
    // once all are read, so the connection stays in step.
    std::vector<std::vector<SqlRow>> pipelineAnswers(std::size_t count) {
        std::vector<std::vector<SqlRow>> answers;
        std::string failure;
        for (std::size_t i = 0; i < count; ++i) {
            const Result result = nextResult();
            const auto status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
            if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && failure.empty()) {
                failure = result ? PQresultErrorMessage(result.get()) : "no answer";
            }
            answers.push_back(failure.empty() ? rowsOf(result.get()) : std::vector<SqlRow>{});
            nextResult(); // the end of this statement's answer
        }
        const Result sync = nextResult();
        if (!sync || PQresultStatus(sync.get()) != PGRES_PIPELINE_SYNC ||
            PQexitPipelineMode(connection_.get()) == 0) {
            throw std::runtime_error("the pipeline ended out of step: " + failure);
        }
        if (!failure.empty()) {
            throw std::runtime_error(failure);
        }
        return answers;
    }

    // The name of the statement kept for `sql` on this connection, prepared
    // on first use. Nothing for statements run once or that a kept plan
    // cannot hold (transaction control, settings, schema changes).
    const std::string* prepared(std::string_view sql) {
        if (const auto* name = kept_.find(sql)) {
            return name;
        }
        if (!keepable(sql)) {
            return nullptr;
        }
        if (kept_.makeRoom([this] { run("DEALLOCATE ALL", {}); })) {
            ++dropped_;
        }
        std::string name = "kept" + std::to_string(++named_);
        if (PQsendPrepare(connection_.get(), name.c_str(), numbered(sql).c_str(), 0, nullptr) ==
            0) {
            throw std::runtime_error(PQerrorMessage(connection_.get()));
        }
        const Result result = awaitResult();
        if (!result || PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
            throw std::runtime_error(PQerrorMessage(connection_.get()));
        }
        return &kept_.keep(sql, std::move(name));
    }

    static bool keepable(std::string_view sql) {
        for (const std::string_view verb : {"SELECT ", "INSERT ", "UPDATE ", "DELETE "}) {
            if (sql.starts_with(verb)) {
                return true;
            }
        }
        return false;
    }

    void send(std::string_view sql, const std::vector<SqlValue>& params, const std::string* name) {
        std::vector<std::string> texts;
        std::vector<const char*> values;
        texts.reserve(params.size());
        values.reserve(params.size());
        for (const auto& param : params) {
            texts.push_back(paramText(param));
        }
        for (std::size_t i = 0; i < params.size(); ++i) {
            values.push_back(std::holds_alternative<std::nullptr_t>(params[i]) ? nullptr
                                                                               : texts[i].c_str());
        }
        const int count = static_cast<int>(values.size());
        const int sent = name != nullptr
                             ? PQsendQueryPrepared(connection_.get(), name->c_str(), count,
                                                   values.data(), nullptr, nullptr, 0)
                             : PQsendQueryParams(connection_.get(), numbered(sql).c_str(), count,
                                                 nullptr, values.data(), nullptr, nullptr, 0);
        if (sent == 0) {
            throw std::runtime_error(PQerrorMessage(connection_.get()));
        }
    }

    static std::vector<SqlRow> rowsOf(PGresult* result) {
        std::vector<SqlRow> rows(static_cast<std::size_t>(PQntuples(result)));
        for (int row = 0; row < PQntuples(result); ++row) {
            for (int column = 0; column < PQnfields(result); ++column) {
                rows[static_cast<std::size_t>(row)].push_back(cell(result, row, column));
            }
        }
        return rows;
    }

    // The statement's result, the last of several.
    Result awaitResult() {
        Result last;
        while (Result next = nextResult()) {
            last = std::move(next);
        }
        return last;
    }

    // The next result, or nothing at the end of a statement's; waits at most
    // `wait_`. A frozen server (stopped, not down) keeps the socket open and
    // never answers, and its own statement_timeout cannot fire.
    Result nextResult() {
        PGconn* connection = connection_.get();
        const auto deadline = Clock::now() + wait_;
        while (PQisBusy(connection) != 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (wait_.count() > 0 && left.count() <= 0) {
                silent_ = true; // dropped by the caller; never reused mid-statement
                throw std::runtime_error("the database did not answer within " +
                                         std::to_string(wait_.count() / 1000) + " s");
            }
            pollfd socket{PQsocket(connection), POLLIN, 0};
            const int ready =
                poll(&socket, 1, wait_.count() > 0 ? static_cast<int>(left.count()) : -1);
            if ((ready < 0 && errno != EINTR) || (ready > 0 && PQconsumeInput(connection) == 0)) {
                throw std::runtime_error(PQerrorMessage(connection));
            }
        }
        return Result(PQgetResult(connection));
    }

    // Waits for an answer a second longer than the server's own limit, or for
    // ever when it has none (a migration's long statements).
    void followStatementTimeout() {
        const auto rows =
            run("SELECT setting FROM pg_settings WHERE name = 'statement_timeout'", {});
        const auto limit = std::chrono::milliseconds(std::stoll(asText(rows.at(0).at(0))));
        wait_ = limit.count() == 0 ? std::chrono::milliseconds(0) : limit + std::chrono::seconds(1);
    }

    // A server that does not answer must not hold a request thread for ever;
    // a connect_timeout in the URL itself takes precedence.
    static PGconn* connect(const std::string& url) {
        const std::array<const char*, 3> keys{"connect_timeout", "dbname", nullptr};
        const std::array<const char*, 3> values{"5", url.c_str(), nullptr};
        return PQconnectdbParams(keys.data(), values.data(), 1);
    }

    struct ConnectionDeleter {
        void operator()(PGconn* connection) const { PQfinish(connection); }
    };
    std::unique_ptr<PGconn, ConnectionDeleter> connection_;
    std::chrono::milliseconds wait_{6000}; // 0: no limit
    bool silent_ = false;
    StatementCache<std::string> kept_; // SQL to the name it was prepared under
    std::uint64_t named_ = 0;
    std::uint64_t dropped_ = 0; // times kept_ was emptied
};

} // namespace

std::unique_ptr<SqlConnection> openPostgres(const std::string& url) {
    return std::make_unique<PostgresConnection>(url);
}

} // namespace service
