#include "support/Peer.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <fstream>
#include <regex>
#include <signal.h>
#include <stdexcept>
#include <unistd.h>

namespace testsupport {

Peer::Peer(const std::string& caseName, std::vector<std::string> options) {
    static std::atomic<int> peers{0};
    recordFile_ = "/tmp/peer-" + std::to_string(getpid()) + "-" + std::to_string(++peers);
    std::string command = "exec " PYTHON3_EXECUTABLE " " PEER_SCRIPT " --pki " TEST_PKI_DIR;
    options.insert(options.begin(), {"--case", caseName, "--record", recordFile_});
    for (const auto& option : options) { // quoted for the shell, bodies and all
        command += " '" + std::regex_replace(option, std::regex("'"), "'\\''") + "'";
    }
    // The peer prints its port and process id, or exits, which ends the wait either way.
    stream_ = popen(command.c_str(), "re");
    if (!stream_ || std::fscanf(stream_, "%d %d", &port_, &pid_) != 2 || port_ <= 0) {
        stop();
        throw std::runtime_error("peer.py did not start for case " + caseName);
    }
}

void Peer::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        pid_ = -1;
    }
    if (stream_) {
        pclose(stream_);
        stream_ = nullptr;
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
