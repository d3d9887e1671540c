#include "service/admin/Admin.h"

#include "service/EngineCases.h"
#include "submission/APIResponse.h"

#include <gtest/gtest.h>

namespace service {
namespace {

class ReviewCases : public EngineCases {
protected:
    void SetUp() override {
        EngineCases::SetUp();
        service_.emplace(database_);
    }

    Response send(std::string path) { return service_->send(get(std::move(path))); }
    Response submit(const submission::Payload& record,
                    std::string agent = "benchmark-companion/2.0.1 (Linux)") {
        Request request = post(record);
        request.userAgent = std::move(agent);
        return service_->send(request);
    }

    void seedGenuine() {
        for (int i = 0; i < 24; ++i) { // around 10 s of run time, the record's 35 s
            ASSERT_EQ(submit(clientRecord("R7", 10.0 + 0.05 * (i % 9 - 4))).status, 200);
        }
    }

    TempPath other_{"backup.sqlite3"};
    std::optional<Service> service_;
};

TEST_P(ReviewCases, APlantedFakeIsHeldAndStaysOffEveryPublicViewUntilApproved) {
    seedGenuine();
    ScoreStore& store = *service_->store;
    const auto fake = clientRecord("R7", 0.5, "Fake,1");
    const auto reply = submission::decodeAPIResponse(submit(fake).body);
    ASSERT_TRUE(reply && reply->success);
    EXPECT_NE(reply->message->find("25 sonuç arasında 1."), std::string::npos) << *reply->message;
    EXPECT_LE(codePoints(*reply->message), kMaxShownChars);
    const auto publicViews = [&] {
        return send("/api/scores").body + send("/").body + send("/?chip=R7").body;
    };
    EXPECT_EQ(publicViews().find("Fake,1"), std::string::npos);
    EXPECT_EQ(send("/r/25").status, 404);
    // The held one is on neither board.
    const auto scraped = service_->metrics.render({0, store.counts()});
    for (const char* line : {"{outcome=\"held\"} 1\n", "_records 24\n", "held_records 1\n"}) {
        EXPECT_NE(scraped.find(line), std::string::npos) << line << scraped;
    }
    const auto figures = [&] {
        const auto found = store.processor("R7", 0, 0, 0).value().value();
        return std::make_tuple(found.row.spread.count, found.row.spread.best, found.held);
    };
    EXPECT_EQ(figures(), std::make_tuple(24L, 9.8 * 3.5, 1L));

    EXPECT_NE(admin(database_, {"list", "--held"}).second.find("25\theld\t"), std::string::npos);
    EXPECT_NE(admin(database_, {"show", "25"}).second.find("\"rule\":\"quartile\""),
              std::string::npos);
    EXPECT_EQ(admin(database_, {"approve", "25"}).first, 0);
    EXPECT_NE(publicViews().find("Fake,1"), std::string::npos);
    EXPECT_EQ(figures(), std::make_tuple(25L, 0.5 * 3.5, 0L));
    const auto page = send("/r/25");
    EXPECT_NE(page.body.find("benchmark-companion 2.0.1"), std::string::npos);
    EXPECT_NE(page.body.find("25 sonuç arasında 1. sırada"), std::string::npos) << page.body;
}

// Each time half the last, each on a processor too new for its own quartiles:
// the first at the bound goes on the board, and does not move the bound.
TEST_P(ReviewCases, HalvingTheBoardsTopAgainAndAgainIsHeldAtTheSecondStep) {
    seedGenuine();
    for (const auto& [seconds, held] : {std::pair{5.0, false}, {2.5, true}, {1.25, true}}) {
        const auto record = clientRecord("Walk " + std::to_string(seconds), seconds);
        const auto reply = submission::decodeAPIResponse(submit(record).body);
        ASSERT_TRUE(reply && reply->message);
        EXPECT_EQ(reply->message->find("incelemeye") != std::string::npos, held) << seconds;
    }
}

TEST_P(ReviewCases, OperatorCommandsChangeTheBoardAndRefuseBadInput) {
    // The last device name holds spreadsheet formulas, which a CSV export must not run.
    for (const auto& [chip, seconds, agent, device] :
         {std::tuple{"A1", 10.0, "benchmark-companion/1.0", "Mac"},
          {"A1", 11.0, "benchmark-companion/2.0", "Mac"},
          {"B2", 20.0, "curl/8.0", "Mac"},
          {"B2", 40.0, "", "=HYPERLINK(\"http://x\"), -1;@SUM(1)"}}) {
        ASSERT_EQ(submit(clientRecord(chip, seconds, device), agent).status, 200);
    }
    const std::vector<std::tuple<std::vector<std::string>, int, std::string>> steps = {
        {{"list", "--chip", "A1"}, 0, "stderr:listed 2 records\n"},
        {{"list", "--client-version", "2.0"}, 0, "2\tpublic\t"},
        {{"list", "--client-version", "curl/8.0"}, 0, "stderr:listed 1 record\n"},
        {{"list", "--since", "2000-01-01"}, 0, "listed 4 records"},
        {{"list", "--since", "2999-01-01T00:00:00Z"}, 0, "listed 0 records"},
        {{"show", "1"}, 0, "client: benchmark-companion/1.0"},
        {{"show", "4"}, 0, "client: unknown"},
        {{"hide", "1"}, 0, "record 1 (A1, score 35.00) hidden; it is off the board"},
        {{"hide", "1"}, 1, "already hidden"},
        {{"approve", "1"}, 1, "is not held"},
        {{"list", "--chip", "A1"}, 0, "1\thidden\t"},
        {{"restore", "1"}, 0, "restored"},
        {{"restore", "1"}, 1, "is not hidden"},
        {{"delete", "2"}, 2, "--yes"},
        {{"delete", "2", "--yes"}, 0, "deleted"},
        {{"show", "2"}, 1, "record 2 does not exist"},
        {{"approve", "99"}, 1, "record 99 does not exist"},
        {{"hide", "x1"}, 2, "hide: ID: a record id is a whole number from 1, got 'x1'"},
        {{"list", "--bogus"}, 2, "list: unknown option '--bogus'"},
        {{"list", "--since", "yesterday"}, 2, "--since: needs YYYY-MM-DD"},
        {{"list", "--chip"}, 2, "--chip: 1 required NAME missing"},
        {{"export"}, 2, "export: --format is required"},
        {{"export", "--format", "xml"}, 2, "--format: xml not in {csv,jsonl}"},
        {{"frobnicate"}, 2, "unknown admin command 'frobnicate'"},
        {{"approve"}, 2, "approve: ID is required"},
        {{"export", "--format", "csv"}, 0, "\r\n3,"},
        {{"export", "--format", "csv"}, 0, "\"'=HYPERLINK(\"\"http://x\"\"), '-1;'@SUM(1)\""},
        {{"export", "--format", "jsonl"}, 0, "\"device_name\":\"=HYPERLINK(\\\"http://x"},
        {{"export", "--format", "jsonl"}, 0, "\"client_version\":null"},
        {{"export", "--format", "jsonl"}, 0, "stderr:exported 3 records"},
    };
    for (const auto& [args, wanted, says] : steps) {
        const auto [status, said] = admin(database_, args);
        EXPECT_EQ(status, wanted) << args[0] << ": " << said;
        EXPECT_NE(said.find(says), std::string::npos) << args[0] << ": " << said;
    }
    // Counts and ranks follow: A1 holds only record 1 again, the fastest.
    EXPECT_NE(submit(clientRecord("A1", 10.5)).body.find("2 sonuç arasında 2."), std::string::npos);
    const auto backedUp = admin(database_, {"backup", other_.path().string()});
    EXPECT_EQ(backedUp.first == 0, sqlite()) << backedUp.second;
    if (sqlite()) {
        EXPECT_EQ(openSqlite(other_.path())->run("SELECT COUNT(*) FROM scores", {})[0][0],
                  SqlValue{std::int64_t{4}});
        EXPECT_NE(admin(database_, {"backup", other_.path().string()}).second.find("exists"),
                  std::string::npos);
        EXPECT_NE(admin(database_, {"backup", "/nonexistent/b.sqlite3"})
                      .second.find("backup to /nonexistent/b.sqlite3 failed: unable to open"),
                  std::string::npos);
    } else {
        EXPECT_NE(backedUp.second.find("pg_dump"), std::string::npos);
    }
}

// Commands that only read write nothing: an operator inspecting a copy changes not one byte of
// it, not even its journal mode; a missing file is not made, nor an empty one given a schema.
TEST(AdminDatabase, CommandsThatReadWriteNothingAndOneTheyCannotOpenIsAClearFailure) {
    FileService service;
    ASSERT_EQ(service.send(post(clientRecord("A1", 10.0))).status, 200);
    const TempPath copy("copy.sqlite3");
    openSqlite(service.path())->run("VACUUM INTO '" + copy.path().string() + "'", {});
    const auto before = readFile(copy.path());
    for (const std::vector<std::string>& args : {std::vector<std::string>{"list"},
                                                 {"show", "1"},
                                                 {"export", "--format", "jsonl"},
                                                 {"backup", copy.path().string() + ".bak"}}) {
        const auto [status, said] = admin(copy.path().string(), args);
        EXPECT_EQ(status, 0) << said;
    }
    EXPECT_TRUE(readFile(copy.path()) == before);
    const TempPath missing("missing.sqlite3");
    for (const std::string& database :
         {missing.path().string(), std::string("postgresql://nobody@127.0.0.1:1/none")}) {
        const auto [status, said] = admin(database, {"list"});
        EXPECT_EQ(status, 1) << database;
        EXPECT_NE(said.find("cannot open the database"), std::string::npos) << said;
        EXPECT_FALSE(std::filesystem::exists(missing.path()));
    }
    std::ofstream(missing.path()).flush();
    const auto [status, said] = admin(missing.path().string(), {"list"});
    EXPECT_EQ(status, 1);
    EXPECT_NE(said.find("schema (version 0) is older"), std::string::npos) << said;
    EXPECT_TRUE(openSqlite(missing.path())->run("SELECT name FROM sqlite_master", {}).empty());
}

INSTANTIATE_TEST_SUITE_P(Engines, ReviewCases, ::testing::Values("sqlite", "postgres"));

} // namespace
} // namespace service
