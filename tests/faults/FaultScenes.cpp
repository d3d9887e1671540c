#include "faults/FaultScenes.h"

#include <gtest/gtest.h>

#include <utility>

namespace faults {

using namespace std::chrono_literals;
using submission::Endpoint;
using testsupport::CertificateSpec;
using testsupport::ScriptedReply;
using testsupport::TestPki;
using testsupport::TlsTestServer;

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.name;
}

// ---- Staging helpers ------------------------------------------------------

std::function<void(Scene&)> scripted(ScriptedReply reply) {
    return [reply](Scene& scene) {
        scene.server = std::make_unique<TlsTestServer>();
        scene.server->reply(reply);
        scene.endpoint = Endpoint{scene.server->baseUrl(), scene.server->caFile(), 60s};
    };
}

std::function<void(Scene&)> scripted(int status, std::string body) {
    ScriptedReply reply;
    reply.status = status;
    reply.body = std::move(body);
    return scripted(reply);
}

std::function<void(Scene&)> raw(PeerScript script, std::chrono::seconds idle, bool tls) {
    return [script, idle, tls](Scene& scene) mutable {
        scene.pki = std::make_unique<TestPki>();
        if (tls) {
            script.certificate = scene.pki->issue();
        }
        scene.peer = std::make_unique<RawPeer>(script);
        scene.endpoint = Endpoint{scene.peer->baseUrl(), scene.pki->caFile().string(), idle};
    };
}

std::function<void(Scene&)> rawReply(std::string reply, Ending ending) {
    PeerScript script;
    script.reply = std::move(reply);
    script.ending = ending;
    return raw(script);
}

std::function<void(Scene&)> untrustedServer(CertificateSpec certificate, bool stranger,
                                            std::string host) {
    return [certificate, stranger, host](Scene& scene) {
        scene.pki = std::make_unique<TestPki>("Trusted Root CA");
        scene.strangerPki = std::make_unique<TestPki>("Stranger Root CA");
        TestPki& issuer = stranger ? *scene.strangerPki : *scene.pki;
        scene.server = std::make_unique<TlsTestServer>(issuer.issue(certificate));
        scene.server->reply(200, R"({"success":true,"message":"Kabul edildi"})");
        scene.endpoint = Endpoint{"https://" + host + ":" + std::to_string(scene.server->port()),
                                  scene.pki->caFile().string(), 60s};
    };
}

std::function<void(Scene&)> redirect(int status, std::string body) {
    return [status, body](Scene& scene) {
        scene.pki = std::make_unique<TestPki>();
        scene.server = std::make_unique<TlsTestServer>(scene.pki->issue());
        scene.target = std::make_unique<TlsTestServer>(scene.pki->issue());
        scene.target->reply(200, R"({"success":true,"message":"Yönlendirme izlendi"})");
        ScriptedReply reply;
        reply.status = status;
        reply.body = body;
        reply.headers = {{"Location", scene.target->baseUrl() + "/api/submit"}};
        scene.server->reply(reply);
        scene.endpoint = Endpoint{scene.server->baseUrl(), scene.pki->caFile().string(), 60s};
    };
}

// ---- Checks on the peers ---------------------------------------------------

void expectCount(const char* what, std::size_t actual, std::size_t expected) {
    if (actual != expected) {
        ADD_FAILURE() << what << ": " << actual << ", expected " << expected;
    }
}

void oneRequestAtTheServer(const Scene& scene) {
    expectCount("requests at the server", scene.server->requestCount(), 1);
}

void noRequestAtTheServer(const Scene& scene) {
    expectCount("requests sent over the untrusted TLS", scene.server->requestCount(), 0);
}

void redirectNotFollowed(const Scene& scene) {
    expectCount("requests at the redirecting server", scene.server->requestCount(), 1);
    expectCount("requests at the redirect's target", scene.target->requestCount(), 0);
}

std::function<void(const Scene&)> peerSaw(int requests) {
    return [requests](const Scene& scene) {
        expectCount("connections at the peer", scene.peer->connections(), 1);
        expectCount("requests at the peer", scene.peer->requests(), requests);
    };
}

void streamCutShort(const Scene& scene) {
    peerSaw(1)(scene);
    if (scene.peer->streamCompleted()) {
        ADD_FAILURE() << "the client read the whole stream of " << scene.peer->streamedBytes()
                      << " bytes";
    }
}

// ---- Replies ---------------------------------------------------------------

std::string deepObjectWithMessage(std::size_t depth) {
    std::string text = R"({"message":"Derin ama geçerli","deep":)";
    for (std::size_t level = 2; level < depth; ++level) {
        text += R"({"a":)";
    }
    text += "{}";
    text += std::string(depth - 2, '}');
    return text + "}";
}

std::string deepArrays(std::size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

std::string withJsonBody(const std::string& statusLine, const std::string& body) {
    return statusLine +
           "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

} // namespace faults
