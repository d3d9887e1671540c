#pragma once

// Runs tests/support/peer.py for the life of the object:
//
//   testsupport::Peer peer("reply", {"--status", "404", "--body", R"({"error":"Yok"})"});
//   submission::Endpoint endpoint{peer.url(), peer.caFile(), std::chrono::seconds(60)};
//   ... submit ...
//   const auto requests = peer.requests();   // what the peer received, in order
//   EXPECT_EQ(requests.at(0).headers("Content-Type").size(), 1u);
//
// The case name and options are the script's own (see its docstring). The PKI
// comes from TEST_PKI_DIR, so a test using it needs FIXTURES_REQUIRED pki.
// The destructor kills the peer; the peer also stops by itself after a minute.

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace testsupport {

struct PeerRequest {
    std::string method;
    std::string path;
    std::vector<std::pair<std::string, std::string>> headerList; // as received
    std::string body;

    // Every value of the header `name` (case-insensitive), in order.
    std::vector<std::string> headers(const std::string& name) const;
};

// What the 64 MiB stream reports when it stops.
struct StreamReport {
    long long streamed = 0;
    bool complete = false;
};

class Peer {
public:
    explicit Peer(const std::string& caseName, std::vector<std::string> options = {});
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    int port() const { return port_; }
    std::string url() const;     // https://127.0.0.1:<port>
    static std::string caFile(); // the CA that signs the "localhost" leaf
    std::vector<PeerRequest> requests() const;
    std::vector<StreamReport> streams() const;

private:
    void stop();

    pid_t pid_ = -1;
    int port_ = 0;
    std::string recordFile_;
};

} // namespace testsupport
