#include "TrivialHandler.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

namespace bench {
namespace {

std::string reply(bool ok, std::string_view text) {
    nlohmann::json j;
    j["success"] = ok;
    j[ok ? "message" : "error"] = text;
    return j.dump();
}

bool readFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    out = all.str();
    return in.good() || in.eof();
}

volatile std::sig_atomic_t gStop = 0;
void onSignal(int) {
    gStop = 1;
}

} // namespace

TrivialReply handleTrivialSubmit(std::string_view contentType, std::string_view body,
                                 bool tooLarge) {
    if (tooLarge || body.size() > kMaxBody)
        return {413, reply(false, "too large")};
    if (contentType.substr(0, 16) != "application/json")
        return {415, reply(false, "not json")};
    if (!nlohmann::json::accept(body))
        return {400, reply(false, "malformed")};
    return {200, reply(true, "ok")};
}

bool parseServerOptions(int argc, char** argv, ServerOptions& out) {
    std::string& cert = out.certPath;
    std::string& key = out.keyPath;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string flag = argv[i];
        std::string value = argv[i + 1];
        if (flag == "--cert")
            cert = value;
        else if (flag == "--key")
            key = value;
        else if (flag == "--threads")
            out.threads = static_cast<unsigned>(std::stoul(value));
        else if (flag == "--per-ip")
            out.perIpLimit = static_cast<unsigned>(std::stoul(value));
        else if (flag == "--max-seconds")
            out.maxSeconds = static_cast<unsigned>(std::stoul(value));
        else {
            std::cerr << "unknown flag " << flag << "\n";
            return false;
        }
    }
    if (cert.empty() || key.empty() || !readFile(cert, out.certPem) || !readFile(key, out.keyPem) ||
        out.certPem.empty() || out.keyPem.empty()) {
        std::cerr << "need readable --cert and --key\n";
        return false;
    }
    return true;
}

void waitForStop(unsigned maxSeconds) {
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(maxSeconds);
    while (!gStop && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

} // namespace bench
