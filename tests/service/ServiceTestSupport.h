#pragma once

#include "service/Handler.h"
#include "service/Metrics.h"
#include "service/PageCache.h"
#include "service/admin/Admin.h"
#include "service/edge/Http.h"
#include "service/store/Sql.h"
#include "service/store/SqlScoreStore.h"
#include "submission/Payload.h"
#include "submission/PlainText.h"
#include "support/FakeRoot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace service {

inline Request get(std::string path, std::map<std::string, std::string> query = {}) {
    return Request{"GET", std::move(path), std::move(query), "", "", "10.0.0.1", "", "", "", ""};
}

inline Request post(std::string body, std::string type = "application/json") {
    return Request{
        "POST", "/api/submit", {}, std::move(type), std::move(body), "10.0.0.1", "", "", "", ""};
}

inline Request post(const submission::Payload& record) {
    return post(*submission::encodePayload(record));
}

inline ServiceContext realClocks(ScoreStore& store, RateLimiter& limiter,
                                 Metrics* metrics = nullptr) {
    return {store, limiter, [] { return std::chrono::system_clock::now(); },
            [] { return std::chrono::steady_clock::now(); }, metrics};
}

// Polls `done` every 5 ms until it holds, for up to `limit`.
inline void waitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

inline void failOnError(const std::string& error) {
    ADD_FAILURE() << error;
}

// When the records that need no other time were received.
inline const std::string kAt = "2026-01-31T12:00:00.000Z";

// The status box has room for two lines: about 100 characters.
inline constexpr std::size_t kMaxShownChars = 100;

using submission::codePoints;
using testsupport::readFile;

// A record as the client makes it, for a run of `seconds` wall time.
inline submission::Payload clientRecord(std::string chip, double seconds,
                                        std::string device = "Mac99,1") {
    return submission::Payload{
        std::move(device), std::move(chip), 16, seconds * 3.5, seconds * 1.5, 84, 0};
}

// A record whose build time is `time`, with the other time in the client's proportion.
inline submission::Payload scored(std::string chip, double time, std::string device = "d") {
    return submission::Payload{
        std::move(device), std::move(chip), 16, time, time * 1.5 / 3.5, 84, 0};
}

// A fresh path in a private temporary folder, removed with the object.
class TempPath : testsupport::FakeRoot {
public:
    explicit TempPath(const std::string& name) : path_(FakeRoot::path() / name) {}
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The handler over the store on `database`, with the real clocks and no limit unless given one.
struct Service {
    explicit Service(std::string database, RateLimit limit = {0.0, 1.0})
        : database(std::move(database)), limiter(limit) {}
    Response send(const Request& request) { return handle(request, context); }

    std::string database;
    std::unique_ptr<ScoreStore> store = openStore(database, failOnError);
    RateLimiter limiter;
    Metrics metrics;
    ServiceContext context = realClocks(*store, limiter, &metrics);
};

// The same over a fresh SQLite file.
struct FileService : TempPath, Service {
    explicit FileService(RateLimit limit = {0.0, 1.0})
        : TempPath("scores.sqlite3"), Service(path().string(), limit) {}
};

// The handler over a fresh SQLite file, keeping pages, with a steady clock that only the test
// moves; whatever it answers at once must be what the pool would answer.
class HandlerTest : public ::testing::Test, public FileService {
protected:
    HandlerTest() : FileService(RateLimit{60.0, 2.0}) {
        context.steadyClock = [this] { return now_; };
        context.pages = &pages_;
    }

    Response send(const Request& request) {
        const auto quick = answerAtOnce(request, context);
        Response response = handle(request, context);
        atOnce_ = quick ? quick->status : 0;
        if (quick) {
            EXPECT_EQ(std::make_tuple(quick->status, bodyOf(*quick), quick->headers),
                      std::make_tuple(response.status, bodyOf(response), response.headers))
                << request.path;
        }
        return response;
    }

    std::chrono::steady_clock::time_point now_{};
    static constexpr std::size_t kPageBytes = 64 * 1024; // a few pages: more are forgotten
    PageCache pages_{kPageBytes};
    int atOnce_ = 0; // the status the last request was answered with at once; 0: by the pool
};

// An operator command on `database`: its exit status and what it printed, standard error
// after "stderr:".
inline std::pair<int, std::string> admin(const std::string& database,
                                         std::vector<std::string> args) {
    args.insert(args.begin(), {"--database", database});
    std::ostringstream out, err;
    const int status = runAdmin(args, out, err);
    return {status, out.str() + "stderr:" + err.str()};
}

// A database of its own for this process, so parallel runs cannot meet; empty
// without the PostgreSQL fixture (which writes its URL to TEST_POSTGRES_URL_FILE).
inline std::string freshPostgresDatabase(const std::string& prefix) {
    const char* urlFile = std::getenv("TEST_POSTGRES_URL_FILE");
    std::ifstream in(urlFile ? urlFile : "");
    std::string url;
    if (!std::getline(in, url)) {
        return {};
    }
    const std::string name = prefix + "_" + std::to_string(getpid());
    const auto admin = openPostgres(url);
    admin->run("DROP DATABASE IF EXISTS " + name, {});
    admin->run("CREATE DATABASE " + name, {});
    return url.substr(0, url.rfind('/') + 1) + name;
}

} // namespace service
