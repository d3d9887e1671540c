#include "support/Peer.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

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
    static std::atomic<int> peers{0};
    recordFile_ = "/tmp/peer-" + std::to_string(getpid()) + "-" + std::to_string(++peers);
    std::vector<std::string> args{PYTHON3_EXECUTABLE, PEER_SCRIPT, "--pki",    TEST_PKI_DIR,
                                  "--case",           caseName,    "--record", recordFile_};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv(args.size() + 1, nullptr);
    std::transform(args.begin(), args.end(), argv.begin(), [](auto& arg) { return arg.data(); });
    int out[2];
    posix_spawn_file_actions_t actions;
    if (pipe2(out, O_CLOEXEC) != 0 || posix_spawn_file_actions_init(&actions) != 0) {
        throw std::runtime_error("no pipe for peer.py");
    }
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    // The peer prints its port or exits, which ends the line either way.
    const std::unique_ptr<FILE, int (*)(FILE*)> stream(fdopen(out[0], "r"), fclose);
    char line[32] = "";
    port_ = spawned == 0 && fgets(line, sizeof line, stream.get()) ? std::atoi(line) : 0;
    if (port_ <= 0) {
        stop();
        throw std::runtime_error("peer.py did not start for case " + caseName);
    }
}

void Peer::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    std::remove(recordFile_.c_str());
}

std::vector<PeerRequest> Peer::requests() const {
    std::vector<PeerRequest> requests;
    std::ifstream in(recordFile_);
    for (std::string line; std::getline(in, line);) {
        const auto request = nlohmann::json::parse(line);
        requests.push_back(
            {request["method"], request["path"], request["headers"], request["body"]});
    }
    return requests;
}

} // namespace testsupport
