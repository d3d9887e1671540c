#include "service/Options.h"

#include <gtest/gtest.h>

namespace service {
namespace {

TEST(DatabaseForm, TakesPostgresInEitherFormAndRefusesWhatAPoolCannotUse) {
    using enum DatabaseEngine;
    struct Case {
        std::string value;
        std::optional<DatabaseEngine> engine; // nullopt: refused
        const char* says = "";                // in the refusal, or "password" when it warns
    };
    const std::vector<Case> cases = {
        {"scores.sqlite3", sqlite},
        {"./file:name", sqlite},
        {"postgresql://scores@db.internal/scores?sslmode=verify-full", postgres},
        {"postgres://scores@127.0.0.1:5432/scores", postgres},
        {"postgresql://scores:secret@db/scores", postgres, "password"},
        {"host=db dbname=scores", postgres},
        {"  host = db password=secret", postgres, "password"},
        {"hots=db", std::nullopt, "hots"},
        {"postgresql://db/scores?sslmod=require", std::nullopt, "sslmod"},
        {":memory:", std::nullopt, "pooled"},
        {"", std::nullopt, "file path"},
        {"file::memory:?cache=shared", std::nullopt, "./file::memory:"},
        {"sqlite:///var/lib/scores.sqlite3", std::nullopt, "neither"},
    };
    for (const auto& c : cases) {
        const auto form = databaseForm(c.value);
        const auto* taken = std::get_if<DatabaseForm>(&form);
        EXPECT_EQ(taken ? std::optional(taken->engine) : std::nullopt, c.engine) << c.value;
        const std::string said =
            taken ? (taken->passwordInline ? "password" : "") : std::get<std::string>(form);
        EXPECT_TRUE(taken
                        ? said == c.says
                        : said.starts_with("--database") && said.find(c.says) != std::string::npos)
            << c.value << ": " << said;
    }
}

} // namespace
} // namespace service
