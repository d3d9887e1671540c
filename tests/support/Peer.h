#pragma once

// Runs tests/support/peer.py with the case and options given, for the life of the object, e.g.
// Peer("reply", {"--status", "404", "--body", R"({"error":"Yok"})"}). Its certificates come
// from TEST_PKI_DIR: a test using it needs FIXTURES_REQUIRED pki.

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

struct PeerRequest {
    std::string method;
    std::string path;
    // Each header's values in order, by its name in lower case.
    std::map<std::string, std::vector<std::string>> headers;
    std::string body;
};

class Peer {
public:
    explicit Peer(const std::string& caseName, std::vector<std::string> options = {});
    ~Peer() { stop(); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    int port() const { return port_; }
    std::string url() const { return "https://127.0.0.1:" + std::to_string(port_); }
    static std::string caFile() { return TEST_PKI_DIR "/ca.pem"; } // trusts the default leaf
    std::vector<PeerRequest> requests() const;
    // Ends the peer now; its port is then closed.
    void stop();

private:
    std::FILE* stream_ = nullptr;
    int pid_ = -1;
    int port_ = 0;
    std::string recordFile_;
};

} // namespace testsupport
