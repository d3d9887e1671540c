#pragma once

// The peers a fault case stages, the case itself, the builders that stage
// the peers and the checks on what the peers saw.

#include "faults/RawPeer.h"
#include "submission/Submission.h"
#include "support/TestPki.h"
#include "support/TlsTestServer.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace faults {

// The peers one case needs, alive from staging until the checks are done.
// Members go in reverse order: the peers stop before their PKIs are removed.
struct Scene {
    std::unique_ptr<testsupport::TestPki> pki;
    std::unique_ptr<testsupport::TestPki> strangerPki;
    std::unique_ptr<testsupport::TlsTestServer> server;
    std::unique_ptr<testsupport::TlsTestServer> target; // where a redirect points
    std::unique_ptr<RawPeer> peer;
    submission::Endpoint endpoint;

    void stopPeers() {
        if (server) {
            server->stop();
        }
        if (target) {
            target->stop();
        }
        if (peer) {
            peer->stop();
        }
    }
};

struct FaultCase {
    std::string name;                  // reported as "[fault] <name>"
    std::function<void(Scene&)> stage; // starts the peers, sets the endpoint
    submission::Outcome outcome;
    std::string text;
    // What the peers must have seen, checked once they have stopped; may be empty.
    std::function<void(const Scene&)> verify = nullptr;
    std::chrono::milliseconds atLeast{0}; // an idle timeout must not fire early
    std::chrono::milliseconds atMost{5000};
    bool boundedMemory = false; // assert the peak RSS growth of the call
};

// gtest prints the parameter as the case's name; the report uses it too.
void PrintTo(const FaultCase& c, std::ostream* out);

// The whole matrix, in the order the cases run (FaultCases.cpp).
std::vector<FaultCase> faultCases();

// ---- Staging helpers ------------------------------------------------------

// A cpp-httplib HTTPS server that answers every request with `reply`.
std::function<void(Scene&)> scripted(testsupport::ScriptedReply reply);
std::function<void(Scene&)> scripted(int status, std::string body);

// A raw peer with a certificate the client trusts (TLS), unless `tls` is false.
std::function<void(Scene&)>
raw(PeerScript script, std::chrono::seconds idle = std::chrono::seconds{60}, bool tls = true);

// A raw TLS peer that writes `reply` after the request and then ends the connection.
std::function<void(Scene&)> rawReply(std::string reply, Ending ending = Ending::CloseNotify);

// A server whose certificate the client must refuse: `certificate` issued by the
// trusted CA, or by an unrelated one when `stranger`. `host` names the server
// in the URL. It would accept anything, so a refusal can only be the client's.
std::function<void(Scene&)> untrustedServer(testsupport::CertificateSpec certificate, bool stranger,
                                            std::string host = "127.0.0.1");

// A redirect to a second trusted server that would accept: following it
// would show as an accepted submission and a request at the target.
std::function<void(Scene&)> redirect(int status, std::string body);

// ---- Checks on the peers ---------------------------------------------------

// Failure messages say what happened on their first line: the report prints it.
void expectCount(const char* what, std::size_t actual, std::size_t expected);

void oneRequestAtTheServer(const Scene& scene);
void noRequestAtTheServer(const Scene& scene);
void redirectNotFollowed(const Scene& scene);

// The peer saw one connection, so no retry, and `requests` whole requests.
std::function<void(const Scene&)> peerSaw(int requests);

// The client stopped reading long before the generated stream's end.
void streamCutShort(const Scene& scene);

// ---- Replies ---------------------------------------------------------------

// A reply whose top level is an object and which is `depth` levels deep in
// all, with a message beside the deep member, so decoding must get through.
std::string deepObjectWithMessage(std::size_t depth);

std::string deepArrays(std::size_t depth);

// A whole reply: the status line, JSON headers with the right length, the body.
std::string withJsonBody(const std::string& statusLine, const std::string& body);

} // namespace faults
