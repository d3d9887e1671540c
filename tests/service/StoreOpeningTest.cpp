// How a store is opened: which engine a --database value names, and what a
// SQLite file must offer before the service takes it.
#include "service/ServiceTestSupport.h"
#include "service/store/DatabaseForm.h"
#include "service/store/SqlScoreStore.h"

#include <gtest/gtest.h>

namespace service {
namespace {

TEST(DatabaseForm, TakesPostgresInEitherFormAndRefusesWhatAPoolCannotUse) {
    // "postgres" or "sqlite" as taken, "+password" when it warns; else in the refusal.
    for (const auto& [value, says] : std::vector<std::pair<std::string, std::string>>{
             {"scores.sqlite3", "sqlite"},
             {"./file:name", "sqlite"},
             {"postgresql://scores@db.internal/scores?sslmode=verify-full", "postgres"},
             {"postgres://scores@127.0.0.1:5432/scores", "postgres"},
             {"postgresql://scores:secret@db/scores", "postgres+password"},
             {"host=db dbname=scores", "postgres"},
             {"  host = db password=secret", "postgres+password"},
             {"postgresql://db/scores?sslmod=require", "libpq accepts: invalid URI query"},
             {":memory:", "--database :memory: gives each pooled"},
             {"", "--database needs a file path"},
             {"sqlite:///var/lib/scores.sqlite3", "(write ./sqlite:///var/lib/"}}) {
        const auto form = databaseForm(value);
        const auto* taken = std::get_if<DatabaseForm>(&form);
        const std::string said =
            taken ? (taken->engine == DatabaseEngine::postgres ? "postgres" : "sqlite") +
                        std::string(taken->passwordInline ? "+password" : "")
                  : std::get<std::string>(form);
        EXPECT_TRUE(taken ? said == says : said.find(says) != std::string::npos) << value << said;
    }
}

TEST(SqliteStore, RefusesANewerSchemaAndNeedsItsOwnFileWithRoom) {
    TempPath file("scores.sqlite3");
    openSqlite(file.path())->run("CREATE TABLE schema_version (version INTEGER NOT NULL)", {});
    openSqlite(file.path())->run("INSERT INTO schema_version VALUES (99)", {});
    EXPECT_THROW(openStore(file.path(), [](const std::string&) {}), std::runtime_error);
    // Healthy only on the file it opened, with room on its disk.
    constexpr std::uintmax_t kMiB = 1 << 20;
    EXPECT_EQ(sqliteWriteBlocker(false, 100 * kMiB), std::nullopt);
    EXPECT_NE(sqliteWriteBlocker(true, 100 * kMiB), std::nullopt);
    EXPECT_NE(sqliteWriteBlocker(false, kMiB), std::nullopt);
}

} // namespace
} // namespace service
