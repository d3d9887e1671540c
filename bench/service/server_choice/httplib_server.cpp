// The cpp-httplib candidate: a blocking thread pool, one connection per worker,
// TLS through OpenSSL, with its timeouts and body limit set.
#include "TrivialHandler.h"

#include <cstdio>
#include <httplib.h>
#include <thread>

namespace {

void configure(httplib::SSLServer& server, unsigned workers) {
    server.new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
    server.set_read_timeout(5, 0);
    server.set_write_timeout(5, 0);
    server.set_keep_alive_timeout(5);
    server.set_keep_alive_max_count(5);
    server.set_payload_max_length(bench::kMaxBody);
    // Headers and body leave in separate writes; without this, Nagle holds
    // the body until the client's delayed acknowledgement (about 40 ms).
    server.set_socket_options([](socket_t sock) {
        httplib::default_socket_options(sock);
        int one = 1;
        setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    });
}

} // namespace

int main(int argc, char** argv) {
    bench::ServerOptions opt;
    if (!bench::parseServerOptions(argc, argv, opt))
        return 2;
    httplib::SSLServer server(opt.certPath.c_str(), opt.keyPath.c_str());
    if (!server.is_valid()) {
        std::fprintf(stderr, "cpp-httplib did not load the certificate\n");
        return 1;
    }
    configure(server, opt.threads);
    server.Post("/api/submit", [](const httplib::Request& req, httplib::Response& res) {
        auto reply =
            bench::handleTrivialSubmit(req.get_header_value("Content-Type"), req.body, false);
        res.status = static_cast<int>(reply.status);
        res.set_content(reply.body, "application/json");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    if (port <= 0) {
        std::fprintf(stderr, "cpp-httplib could not bind\n");
        return 1;
    }
    std::printf("listening on https://127.0.0.1:%d\n", port);
    std::fflush(stdout);
    std::thread loop([&server] { server.listen_after_bind(); });
    bench::waitForStop(opt.maxSeconds);
    server.stop();
    loop.join();
    return 0;
}
