#include "service/Log.h"
#include "service/ServiceTestSupport.h"
#include "service/edge/HttpServer.h"
#include "submission/Submission.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <future>
#include <mutex>
#include <sys/socket.h>
#include <thread>

namespace service {
namespace {

// Sends `bytes` on a new loopback connection and reads until it closes (for
// up to 10 s a read); or, given `leave`, calls it and leaves with a reset instead.
std::string exchange(int port, const std::string& bytes, const std::function<void()>& leave = {}) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in to{
        AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    const timeval wait{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::string reply;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
        send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) > 0) {
        if (leave) {
            leave();
            const linger abort{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        }
        std::array<char, 65536> chunk{};
        for (ssize_t n = 0; !leave && (n = recv(fd, chunk.data(), chunk.size(), 0)) > 0;) {
            reply.append(chunk.data(), static_cast<std::size_t>(n));
        }
    }
    close(fd);
    return reply;
}

// The real server on loopback around `handler`, and what it logged.
struct Loopback {
    Loopback(ServerConfig config, const HttpServer::Handler& handler,
             const HttpServer::FastPath& atOnce = {}) {
        config.host = "127.0.0.1";
        const auto log = [this](const LogEntry& entry) {
            const std::lock_guard lock(mutex);
            logged.push_back(entry);
        };
        auto started = HttpServer::start(config, handler, log, {}, atOnce);
        EXPECT_TRUE(std::holds_alternative<std::unique_ptr<HttpServer>>(started));
        server = std::move(std::get<0>(started));
    }
    // One GET on a connection of its own; see `exchange` for `leave`.
    std::string get(const std::string& path, const std::function<void()>& leave = {}) const {
        const std::string head = " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
        return exchange(server->port(), "GET " + path + head, leave);
    }
    std::vector<LogEntry> entries() {
        const std::lock_guard lock(mutex);
        return logged;
    }

    std::mutex mutex;
    std::vector<LogEntry> logged;
    std::unique_ptr<HttpServer> server;
};

// A request that waited in the queue and on the database still gets its
// answer, which has a deadline of its own; one nobody stayed for is logged so.
TEST(EndToEnd, ASlowAnswerIsSentAndOneNobodyTakesIsLoggedUnsent) {
    // The handler outlasts the read deadline; the answer, a few writes long,
    // then has a whole deadline of its own, which even a sanitized build on a
    // busy machine meets many times over.
    constexpr std::size_t kLarge = std::size_t{1} << 20;
    constexpr unsigned kDeadlineSec = 3;
    std::atomic<int> begun{0};
    ServerConfig config;
    config.connectionTimeoutSec = kDeadlineSec;
    Loopback server(config, [&](const Request&) {
        ++begun;
        std::this_thread::sleep_for(std::chrono::milliseconds(kDeadlineSec * 1000 + 500));
        return Response{200, "text/plain", std::string(kLarge, 'x'), {}, 7};
    });
    EXPECT_GT(server.get("/").size(), kLarge);
    server.get("/", [&] { waitFor([&] { return begun == 2; }); });
    waitFor([&] { return server.entries().size() == 2; });
    const auto logged = server.entries();
    ASSERT_EQ(logged.size(), 2U);
    EXPECT_EQ(std::make_pair(logged[0].unsent, logged[1].unsent), std::make_pair(false, true));
    EXPECT_NE(formatLogLine(logged[1]).find("id=7 unsent"), std::string::npos);
}

// A kept page never queues behind the database: it is answered, the same
// bytes as before, while the one handler thread is held, and logged as any other.
TEST_F(HandlerTest, AKeptPageIsAnsweredWhileEveryHandlerThreadIsHeld) {
    std::promise<void> release;
    const auto released = release.get_future().share();
    std::atomic<int> held{0};
    ServerConfig config;
    config.threads = 1;
    Loopback server(
        config,
        [&](const Request& request) {
            if (request.path == "/healthz") {
                ++held;
                released.wait_for(std::chrono::seconds(10));
            }
            return send(request);
        },
        [&](const Request& request) { return answerAtOnce(request, context); });
    const std::string page = server.get("/"); // rendered on the pool, and kept
    auto waiting = std::async(std::launch::async, [&] { return server.get("/healthz"); });
    waitFor([&] { return held == 1; });
    EXPECT_EQ(server.get("/"), page);
    EXPECT_EQ(waiting.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    std::vector<std::string> logged;
    for (const auto& entry : server.entries()) {
        logged.push_back(entry.path + " " + std::to_string(entry.status));
    }
    EXPECT_EQ(logged, (std::vector<std::string>{"/ 200", "/ 200"}));
    release.set_value();
    EXPECT_EQ(waiting.get().substr(0, 12), "HTTP/1.1 200");
}

TEST(EndToEnd, TheClientsRecordIsAcceptedAndThenListed) {
    FileService service(RateLimit{});
    Loopback server(
        {"", 0, readFile(TEST_PKI_DIR "/localhost.pem"), readFile(TEST_PKI_DIR "/localhost.key")},
        [&](const Request& request) { return service.send(request); });
    const std::string url = "https://127.0.0.1:" + std::to_string(server.server->port());
    const auto result = submission::submitPayload(
        {url, std::string(TEST_PKI_DIR) + "/ca.pem", std::chrono::seconds(10)},
        clientRecord("Ryzen 9 7950X", 10.5, "Şirket <dizüstü>"));
    EXPECT_EQ(result.outcome, submission::Outcome::Accepted);
    EXPECT_EQ(result.statusText,
              "✅ Skor kaydedildi: bu işlemcideki 1 sonuç arasında 1. sırada. Sayfası: /r/1");
    const auto listed =
        service.send(get("/api/scores", {{"chip", "Ryzen 9 7950X"}, {"limit", "5"}}));
    EXPECT_NE(listed.body.find(R"("device_name":"Şirket <dizüstü>")"), std::string::npos)
        << listed.body;
}

} // namespace
} // namespace service
