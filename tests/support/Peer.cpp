#include "support/Peer.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <strings.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace testsupport {
namespace {

std::string readPortLine(int fd) {
    std::string line;
    char c = 0;
    while (line.size() < 16) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 20000) != 1 || read(fd, &c, 1) != 1 || c == '\n') {
            break;
        }
        line.push_back(c);
    }
    return line;
}

std::vector<nlohmann::json> recordLines(const std::string& file) {
    std::vector<nlohmann::json> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
}

} // namespace

std::vector<std::string> PeerRequest::headers(const std::string& name) const {
    std::vector<std::string> values;
    for (const auto& [key, value] : headerList) {
        if (strcasecmp(key.c_str(), name.c_str()) == 0) {
            values.push_back(value);
        }
    }
    return values;
}

Peer::Peer(const std::string& caseName, std::vector<std::string> options) {
    char pattern[] = "/tmp/peer-record-XXXXXX";
    const int recordFd = mkstemp(pattern);
    recordFile_ = pattern;
    close(recordFd);
    std::vector<std::string> args{PYTHON3_EXECUTABLE, PEER_SCRIPT, "--pki",    TEST_PKI_DIR,
                                  "--case",           caseName,    "--record", recordFile_};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    int out[2];
    if (pipe(out) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const int rc = posix_spawn(&pid_, PYTHON3_EXECUTABLE, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    const std::string line = rc == 0 ? readPortLine(out[0]) : "";
    close(out[0]);
    port_ = std::atoi(line.c_str());
    if (port_ <= 0) {
        stop();
        throw std::runtime_error("peer.py did not start: case " + caseName);
    }
}

Peer::~Peer() {
    stop();
}

void Peer::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    std::remove(recordFile_.c_str());
}

std::string Peer::url() const {
    return "https://127.0.0.1:" + std::to_string(port_);
}

std::string Peer::caFile() {
    return std::string(TEST_PKI_DIR) + "/ca.pem";
}

std::vector<PeerRequest> Peer::requests() const {
    std::vector<PeerRequest> requests;
    for (const auto& line : recordLines(recordFile_)) {
        if (line.contains("method")) {
            requests.push_back({line["method"], line["path"], line["headers"], line["body"]});
        }
    }
    return requests;
}

std::vector<StreamReport> Peer::streams() const {
    // The peer notes the end of its stream only after the client has let go.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::vector<StreamReport> reports;
    while (reports.empty() && std::chrono::steady_clock::now() < deadline) {
        for (const auto& line : recordLines(recordFile_)) {
            if (line.contains("streamed")) {
                reports.push_back({line["streamed"], line["complete"]});
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return reports;
}

} // namespace testsupport
