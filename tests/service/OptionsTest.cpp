#include "service/Options.h"

#include "service/ServiceTestSupport.h"
#include "service/store/DatabaseForm.h"

#include <gtest/gtest.h>

#include <functional>

namespace service {
namespace {

TEST(Options, EveryFlagFromOneTableWithItsDefaultRangeAndARefusalNamingIt) {
    using O = const Options&;
    // A command line, and what its refusal says or, when it is taken, what holds of it; the
    // defaults' values are held to the manual by man_pages_match_flags.
    // clang-format off
    const std::vector<std::tuple<std::vector<std::string>, std::string, std::function<bool(O)>>>
        cases = {
            {{}, "", [](O o) { return !o.metrics && !o.tls(); }},
            {{"--listen=[::1]:0", "--metrics-listen", "127.0.0.1:9464"}, "",
             [](O o) { return o.listen.host == "::1" && !o.listen.port && o.metrics->port == 9464; }},
            {{"--trust-forwarded-for"}, "", [](O o) { return o.connectionsPerAddress() == 0; }},
            {{"--trust-forwarded-for", "--max-connections-per-address", "8"}, "",
             [](O o) { return o.connectionsPerAddress() == 8; }},
            {{"--threads", "4", "--threads", "8"}, "", [](O o) { return o.threads == 8; }},
            {{"--public-url", "https://skor.example.org//"}, "",
             [](O o) { return o.publicUrl == "https://skor.example.org"; }},
            {{"--rate-limit", "0"}, "", [](O o) { return o.rateLimit.perMinute == 0; }},
            {{"--bogus"}, "unknown option '--bogus'", {}},
            {{"--help", "stray"}, "unexpected argument 'stray'", {}},
            {{"--listen"}, "--listen: 1 required HOST:PORT missing", {}},
            {{"--listen", "127.0.0.1:70000"}, "--listen: needs HOST:PORT with a port from 0", {}},
            {{"--metrics-listen", "9464"}, "--metrics-listen: needs HOST:PORT", {}},
            {{"--threads", "0"}, "--threads: Value 0 not in range 1 to 256", {}},
            {{"--rate-burst", "1.5"}, "--rate-burst: Value 1.5 not in range", {}},
            {{"--tls-cert", "c.pem"}, "--tls-cert requires --tls-key", {}},
            {{"--public-url", "https://skor.example/?x=1"}, "--public-url: needs an http", {}},
            {{"--database", ":memory:"}, "--database :memory: gives each pooled connection", {}},
            {{"--trust-forwarded-for=no"}, "trust-forwarded-for was given a disallowed", {}},
        };
    // clang-format on
    for (const auto& [args, says, holds] : cases) {
        const auto parsed = parseOptions(args);
        const auto* refused = std::get_if<Refused>(&parsed);
        const auto* options = std::get_if<Options>(&parsed);
        EXPECT_TRUE(says.empty() ? options && holds(*options)
                                 : refused && refused->reason.find(says) != std::string::npos)
            << (args.empty() ? "" : args[0]) << ": " << (refused ? refused->reason : "");
    }
}

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
