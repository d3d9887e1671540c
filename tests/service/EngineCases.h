#pragma once
// Cases run against both engines: a real SQLite file, and a database of their
// own on the PostgreSQL server the CTest fixture started.
#include "service/ServiceTestSupport.h"
#include "service/store/SqlScoreStore.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace service {

class EngineCases : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        database_ = sqlite() ? file_.path().string() : freshPostgresDatabase("engine_test");
        ASSERT_FALSE(database_.empty()) << "no PostgreSQL fixture (TEST_POSTGRES_URL_FILE)";
    }
    bool sqlite() const { return GetParam() == std::string("sqlite"); }
    std::unique_ptr<ScoreStore> open() const {
        return openStore(database_, [](const std::string& e) { ADD_FAILURE() << e; });
    }
    std::unique_ptr<SqlConnection> raw() const {
        return sqlite() ? openSqlite(database_) : openPostgres(database_);
    }

    TempPath file_{"scores.sqlite3"};
    std::string database_;
};

} // namespace service
