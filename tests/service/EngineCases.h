#pragma once
// Cases run against both engines: a real SQLite file, and a database of their
// own on the PostgreSQL server the CTest fixture started.
#include "service/ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace service {

// A connection that runs `before` ahead of each statement it passes on, and
// `after` once the statement ran.
class Hooked final : public SqlConnection {
public:
    using Hook = std::function<void(std::string_view sql, const std::vector<SqlValue>& params)>;
    Hooked(std::unique_ptr<SqlConnection> inner, Hook before, Hook after)
        : inner_(std::move(inner)), before_(std::move(before)), after_(std::move(after)) {}
    std::vector<SqlRow> run(std::string_view sql, const std::vector<SqlValue>& params) override {
        before_(sql, params);
        auto rows = inner_->run(sql, params);
        after_(sql, params);
        return rows;
    }

private:
    std::unique_ptr<SqlConnection> inner_;
    Hook before_;
    Hook after_;
};

class EngineCases : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        database_ = sqlite() ? file_.path().string() : freshPostgresDatabase("engine_test");
        ASSERT_FALSE(database_.empty()) << "no PostgreSQL fixture (TEST_POSTGRES_URL_FILE)";
    }
    bool sqlite() const { return GetParam() == std::string("sqlite"); }
    std::unique_ptr<ScoreStore> open() const { return openStore(database_, failOnError); }
    std::unique_ptr<SqlConnection> raw() const {
        return sqlite() ? openSqlite(database_) : openPostgres(database_);
    }
    // The one number `sql` answers, through `connection` or a new one.
    std::int64_t number(std::string_view sql, SqlConnection* connection = nullptr) const {
        return asInteger((connection ? *connection : *raw()).run(sql, {}).at(0).at(0));
    }
    static void noHook(std::string_view, const std::vector<SqlValue>&) {}
    // A store whose connections run `before` ahead of each statement and
    // `after` once it ran; one that gives up at once on what it cannot learn.
    std::unique_ptr<SqlScoreStore> hooked(Hooked::Hook before,
                                          SqlScoreStore::ErrorSink onError = failOnError,
                                          Hooked::Hook after = noHook) {
        auto store = std::make_unique<SqlScoreStore>(
            sqlite() ? sqliteDialect() : postgresDialect(),
            [this, before, after] { return std::make_unique<Hooked>(raw(), before, after); },
            std::move(onError), SqlScoreStore::BatchSink{},
            WritePatience{std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
        store->migrate();
        return store;
    }

    TempPath file_{"scores.sqlite3"};
    std::string database_;
};

} // namespace service
