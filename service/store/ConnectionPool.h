#pragma once

#include "service/store/Sql.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace service {

// Connections opened on demand, one per concurrent caller, and kept while
// they work: one that failed is dropped, so the next call reconnects. A kept
// connection the server closed while idle (a restart) costs no failure: the
// work runs once more on a new connection, as nothing of it was done.
class ConnectionPool {
public:
    using Connect = std::function<std::unique_ptr<SqlConnection>()>;
    using ErrorSink = std::function<void(const std::string&)>;

    ConnectionPool(Connect connect, ErrorSink onError)
        : connect_(std::move(connect)), onError_(std::move(onError)) {}

    // Runs `work` on a connection; nothing (the failure reported) when it throws.
    template <class Work>
    auto with(Work work) -> std::optional<decltype(work(std::declval<SqlConnection&>()))> {
        std::unique_ptr<SqlConnection> connection = takeIdle();
        try {
            if (connection) {
                Answered answered(*connection);
                try {
                    auto result = work(answered);
                    giveBack(std::move(connection));
                    return result;
                } catch (const std::exception&) {
                    if (answered.count > 0 || !connection->closedByServer()) {
                        throw;
                    }
                }
                dropIdle(); // closed by the same restart
            }
            connection = connect_();
            auto result = work(*connection);
            giveBack(std::move(connection));
            return result;
        } catch (const std::exception& error) {
            onError_(std::string("database: ") + error.what());
            return std::nullopt;
        }
    }

    // A new connection, outside the pool (a migration's); throws on failure.
    std::unique_ptr<SqlConnection> connect() const { return connect_(); }

private:
    // Counts the statements the server answered, so that a failure tells
    // whether any of the work reached it.
    class Answered final : public SqlConnection {
    public:
        explicit Answered(SqlConnection& inner) : inner_(inner) {}
        std::vector<SqlRow> run(std::string_view sql,
                                const std::vector<SqlValue>& params) override {
            auto rows = inner_.run(sql, params);
            ++count;
            return rows;
        }
        std::vector<std::vector<SqlRow>>
        runAll(const std::vector<SqlStatement>& statements) override {
            auto answers = inner_.runAll(statements);
            count += static_cast<int>(answers.size());
            return answers;
        }
        bool closedByServer() const override { return inner_.closedByServer(); }
        std::optional<std::string> writeBlocker() override { return inner_.writeBlocker(); }
        int count = 0;

    private:
        SqlConnection& inner_;
    };

    std::unique_ptr<SqlConnection> takeIdle() {
        const std::lock_guard lock(mutex_);
        if (idle_.empty()) {
            return nullptr;
        }
        auto connection = std::move(idle_.back());
        idle_.pop_back();
        return connection;
    }
    void giveBack(std::unique_ptr<SqlConnection> connection) {
        const std::lock_guard lock(mutex_);
        idle_.push_back(std::move(connection));
    }
    void dropIdle() {
        const std::lock_guard lock(mutex_);
        idle_.clear();
    }

    Connect connect_;
    ErrorSink onError_;
    std::mutex mutex_; // guards idle_
    std::vector<std::unique_ptr<SqlConnection>> idle_;
};

} // namespace service
