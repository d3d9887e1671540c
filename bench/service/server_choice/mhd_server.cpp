// The libmicrohttpd candidate: event-driven (epoll) with a small thread pool,
// TLS through GnuTLS, configured with the limits an operator would set.
#include "TrivialHandler.h"

#include <cstdio>
#include <cstring>
#include <microhttpd.h>
#include <netinet/in.h>
#include <string>

namespace {

struct RequestState {
    std::string body;
    bool tooLarge = false;
};

MHD_Result answer(MHD_Connection* c, unsigned status, const std::string& json) {
    MHD_Response* r = MHD_create_response_from_buffer(json.size(), const_cast<char*>(json.data()),
                                                      MHD_RESPMEM_MUST_COPY);
    MHD_add_response_header(r, "Content-Type", "application/json");
    MHD_Result ret = MHD_queue_response(c, status, r);
    MHD_destroy_response(r);
    return ret;
}

MHD_Result onRequest(void*, MHD_Connection* c, const char* url, const char* method, const char*,
                     const char* upload, size_t* uploadSize, void** state) {
    if (*state == nullptr) {
        *state = new RequestState;
        return MHD_YES;
    }
    auto* s = static_cast<RequestState*>(*state);
    if (*uploadSize != 0) {
        // Keep reading past the limit but stop storing, so memory stays bounded.
        if (s->body.size() + *uploadSize > bench::kMaxBody)
            s->tooLarge = true;
        else
            s->body.append(upload, *uploadSize);
        *uploadSize = 0;
        return MHD_YES;
    }
    if (std::strcmp(method, "POST") != 0 || std::strcmp(url, "/api/submit") != 0)
        return answer(c, 404, R"({"success":false,"error":"not found"})");
    const char* type = MHD_lookup_connection_value(c, MHD_HEADER_KIND, "Content-Type");
    auto reply = bench::handleTrivialSubmit(type ? type : "", s->body, s->tooLarge);
    return answer(c, reply.status, reply.body);
}

void onCompleted(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
    delete static_cast<RequestState*>(*state);
    *state = nullptr;
}

} // namespace

int main(int argc, char** argv) {
    bench::ServerOptions opt;
    if (!bench::parseServerOptions(argc, argv, opt))
        return 2;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    const unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_TLS | MHD_USE_ERROR_LOG;
    MHD_Daemon* d = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &onRequest, nullptr, MHD_OPTION_SOCK_ADDR, &addr,
        MHD_OPTION_HTTPS_MEM_CERT, opt.certPem.c_str(), MHD_OPTION_HTTPS_MEM_KEY,
        opt.keyPem.c_str(), MHD_OPTION_HTTPS_PRIORITIES,
        "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2", MHD_OPTION_THREAD_POOL_SIZE, opt.threads,
        MHD_OPTION_CONNECTION_TIMEOUT, 10u, MHD_OPTION_CONNECTION_LIMIT, 4000u,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, opt.perIpLimit, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        size_t{32 * 1024}, MHD_OPTION_LISTEN_BACKLOG_SIZE, 1024u, MHD_OPTION_NOTIFY_COMPLETED,
        &onCompleted, nullptr, MHD_OPTION_END);
    if (d == nullptr) {
        std::fprintf(stderr, "libmicrohttpd did not start\n");
        return 1;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(d, MHD_DAEMON_INFO_BIND_PORT);
    std::printf("listening on https://127.0.0.1:%u\n", info ? info->port : 0u);
    std::fflush(stdout);
    bench::waitForStop(opt.maxSeconds);
    MHD_stop_daemon(d);
    return 0;
}
