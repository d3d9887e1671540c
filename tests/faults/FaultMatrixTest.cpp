// The fault matrix: the whole submission, submitPayload(), against real peers
// on loopback that fail in one way each. Every case must end in exactly the
// expected outcome with its exact status text, without a crash and within a
// time bound; every TLS failure must end as the connection failure.

#include "faults/RawPeer.h"
#include "submission/Submission.h"
#include "support/TestPki.h"
#include "support/TlsTestServer.h"

#include <gtest/gtest.h>

#include <cctype>
#include <exception>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace faults {
namespace {

using namespace std::chrono_literals;
using submission::Endpoint;
using submission::Outcome;
using submission::Payload;
using submission::SubmissionResult;
using testsupport::CertificateSpec;
using testsupport::ScriptedReply;
using testsupport::TestPki;
using testsupport::TlsTestServer;

const std::string kAccepted = "✅ ";
const std::string kAcceptedFallback = "✅ Skor başarıyla gönderildi!";
const std::string kRefused = "❌ Hata: ";
const std::string kRefusedFallback = "❌ Hata: Bilinmeyen Sunucu Hatası";
const std::string kConnectionFailure =
    "⚠️ Bağlantı hatası: Skor gönderilemedi. İnternet bağlantınızı kontrol edin.";

constexpr std::size_t kMiB = std::size_t{1} << 20;
// A call that has not ended after this long is reported as a hang.
constexpr std::chrono::seconds kHangLimit{30};
// Peak RSS growth allowed where a case streams a huge reply: well under its 64 MiB.
constexpr long kMaxRssGrowthKiB = 16 * 1024;

Payload samplePayload() {
    return Payload{"Mac99,1", "Ryzen \"9\" 7950X", 24, 36.75, 15.75, 84, 0};
}

// The peers one case needs, alive from staging until the checks are done.
// Members go in reverse order: the peers stop before their PKIs are removed.
struct Scene {
    std::unique_ptr<TestPki> pki;
    std::unique_ptr<TestPki> strangerPki;
    std::unique_ptr<TlsTestServer> server;
    std::unique_ptr<TlsTestServer> target; // where a redirect points
    std::unique_ptr<RawPeer> peer;
    Endpoint endpoint;

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
    Outcome outcome;
    std::string text;
    // What the peers must have seen, checked once they have stopped; may be empty.
    std::function<void(const Scene&)> verify = nullptr;
    std::chrono::milliseconds atLeast{0}; // an idle timeout must not fire early
    std::chrono::milliseconds atMost{5000};
    bool boundedMemory = false; // assert the peak RSS growth of the call
};

// gtest prints the parameter as the case's name; the report uses it too.
void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.name;
}

// ---- Staging helpers ------------------------------------------------------

// A cpp-httplib HTTPS server that answers every request with `reply`.
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

// A raw peer with a certificate the client trusts (TLS), unless `tls` is false.
std::function<void(Scene&)> raw(PeerScript script, std::chrono::seconds idle = 60s,
                                bool tls = true) {
    return [script, idle, tls](Scene& scene) mutable {
        scene.pki = std::make_unique<TestPki>();
        if (tls) {
            script.certificate = scene.pki->issue();
        }
        scene.peer = std::make_unique<RawPeer>(script);
        scene.endpoint = Endpoint{scene.peer->baseUrl(), scene.pki->caFile().string(), idle};
    };
}

// A raw TLS peer that writes `reply` after the request and then ends the connection.
std::function<void(Scene&)> rawReply(std::string reply, Ending ending = Ending::CloseNotify) {
    PeerScript script;
    script.reply = std::move(reply);
    script.ending = ending;
    return raw(script);
}

// A server whose certificate the client must refuse: `spec` issued by the
// trusted CA, or by an unrelated one when `stranger`. `host` names the server
// in the URL. It would accept anything, so a refusal can only be the client's.
std::function<void(Scene&)> untrustedServer(CertificateSpec spec, bool stranger,
                                            std::string host = "127.0.0.1") {
    return [spec, stranger, host](Scene& scene) {
        scene.pki = std::make_unique<TestPki>("Trusted Root CA");
        scene.strangerPki = std::make_unique<TestPki>("Stranger Root CA");
        TestPki& issuer = stranger ? *scene.strangerPki : *scene.pki;
        scene.server = std::make_unique<TlsTestServer>(issuer.issue(spec));
        scene.server->reply(200, R"({"success":true,"message":"Kabul edildi"})");
        scene.endpoint = Endpoint{"https://" + host + ":" + std::to_string(scene.server->port()),
                                  scene.pki->caFile().string(), 60s};
    };
}

// A redirect to a second trusted server that would accept: following it
// would show as an accepted submission and a request at the target.
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

// Failure messages say what happened on their first line: the report prints it.
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

// The peer saw one connection, so no retry, and `requests` whole requests.
std::function<void(const Scene&)> peerSaw(int requests) {
    return [requests](const Scene& scene) {
        expectCount("connections at the peer", scene.peer->connections(), 1);
        expectCount("requests at the peer", scene.peer->requests(), requests);
    };
}

// The client stopped reading long before the generated stream's end.
void streamCutShort(const Scene& scene) {
    peerSaw(1)(scene);
    if (scene.peer->streamCompleted()) {
        ADD_FAILURE() << "the client read the whole stream of " << scene.peer->streamedBytes()
                      << " bytes";
    }
}

// ---- Replies ---------------------------------------------------------------

// A reply whose top level is an object and which is `depth` levels deep in
// all, with a message beside the deep member, so decoding must get through.
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

const std::string kStatusLine200 = "HTTP/1.1 200 OK\r\n";

// A whole reply: the status line, JSON headers with the right length, the body.
std::string withJsonBody(const std::string& statusLine, const std::string& body) {
    return statusLine + "Content-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

// ---- The matrix ------------------------------------------------------------

std::vector<FaultCase> faultCases() {
    std::vector<FaultCase> cases;
    const auto add = [&cases](FaultCase c) { cases.push_back(std::move(c)); };

    // Nothing to talk to.
    add({"connection-refused",
         [](Scene& scene) {
             scene.endpoint = Endpoint{
                 "https://127.0.0.1:" + std::to_string(testsupport::closedLoopbackPort()), "",
                 60s};
         },
         Outcome::ConnectionFailure, kConnectionFailure});
    // .invalid never resolves (RFC 6761); the short idle limit also bounds a
    // resolver that stays silent instead of answering NXDOMAIN.
    add({"name-does-not-resolve",
         [](Scene& scene) { scene.endpoint = Endpoint{"https://scores.benchmark.invalid", "", 5s}; },
         Outcome::ConnectionFailure, kConnectionFailure, nullptr, 0ms, 7000ms});

    // TLS: every failure is the connection failure, and no request goes out.
    {
        add({"tls-untrusted-ca", untrustedServer({}, true), Outcome::ConnectionFailure,
             kConnectionFailure, noRequestAtTheServer});
        CertificateSpec otherHost;
        otherHost.commonName = "scores.example.org";
        otherHost.subjectAltNames = {"DNS:scores.example.org"};
        add({"tls-other-host-name", untrustedServer(otherHost, false),
             Outcome::ConnectionFailure, kConnectionFailure, noRequestAtTheServer});
        // Reached as "localhost": neither SAN matches, and the subject's CN,
        // which does, must not count once there are SANs.
        CertificateSpec otherNames;
        otherNames.commonName = "localhost";
        otherNames.subjectAltNames = {"IP:127.0.0.2", "DNS:scores.example.org"};
        add({"tls-other-host-name-by-dns-name", untrustedServer(otherNames, false, "localhost"),
             Outcome::ConnectionFailure, kConnectionFailure, noRequestAtTheServer});
        CertificateSpec expired;
        expired.notBeforeOffset = -48h;
        expired.notAfterOffset = -24h;
        add({"tls-expired", untrustedServer(expired, false), Outcome::ConnectionFailure,
             kConnectionFailure, noRequestAtTheServer});
        CertificateSpec notYetValid;
        notYetValid.notBeforeOffset = 24h;
        notYetValid.notAfterOffset = 48h;
        add({"tls-not-yet-valid", untrustedServer(notYetValid, false),
             Outcome::ConnectionFailure, kConnectionFailure, noRequestAtTheServer});
    }

    // Peers that go quiet: the 1 s idle limit ends the exchange.
    {
        PeerScript silent;
        silent.silentAfterAccept = true;
        add({"never-answers-after-accept", raw(silent, 1s), Outcome::ConnectionFailure,
             kConnectionFailure, peerSaw(0), 900ms, 4000ms});
        PeerScript afterRequest;
        afterRequest.ending = Ending::Hold;
        add({"never-answers-after-request", raw(afterRequest, 1s), Outcome::ConnectionFailure,
             kConnectionFailure, peerSaw(1), 900ms, 4000ms});
        PeerScript headersThenSilence;
        headersThenSilence.reply = kStatusLine200 + "Content-Length: 40\r\n\r\n{\"message\":";
        headersThenSilence.ending = Ending::Hold;
        add({"goes-silent-mid-body", raw(headersThenSilence, 1s), Outcome::ConnectionFailure,
             kConnectionFailure, peerSaw(1), 900ms, 4000ms});
    }

    // Peers that hang up or reset part-way.
    {
        PeerScript resetAtOnce;
        resetAtOnce.readRequest = false;
        resetAtOnce.ending = Ending::Reset;
        add({"reset-before-tls-handshake", raw(resetAtOnce, 60s, false),
             Outcome::ConnectionFailure, kConnectionFailure, peerSaw(0)});
        const std::string partialHeaders = kStatusLine200 + "Content-Type: appli";
        add({"closes-mid-headers", rawReply(partialHeaders, Ending::Close),
             Outcome::ConnectionFailure, kConnectionFailure, peerSaw(1)});
        add({"closes-mid-headers-with-close-notify", rawReply(partialHeaders, Ending::CloseNotify),
             Outcome::ConnectionFailure, kConnectionFailure, peerSaw(1)});
        // libcurl 7.88 reports these as complete replies (CURLE_OK and the status);
        // the exchange must not: a header block that never ended is no reply.
        add({"closes-right-after-status-line", rawReply(kStatusLine200, Ending::Close),
             Outcome::ConnectionFailure, kConnectionFailure, peerSaw(1)});
        add({"closes-mid-headers-of-a-500",
             rawReply("HTTP/1.1 500 Internal Server Error\r\nX-Trace: 1\r\n"),
             Outcome::ConnectionFailure, kConnectionFailure, peerSaw(1)});
        add({"closes-mid-headers-after-100-continue",
             rawReply("HTTP/1.1 100 Continue\r\n\r\n" + partialHeaders),
             Outcome::ConnectionFailure, kConnectionFailure, peerSaw(1)});
        add({"closes-after-100-continue-alone", rawReply("HTTP/1.1 100 Continue\r\n\r\n"),
             Outcome::ConnectionFailure, kConnectionFailure, peerSaw(1)});
        // ... while replies whose headers did end still count.
        add({"control-100-continue-then-200",
             rawReply("HTTP/1.1 100 Continue\r\n\r\n" +
                      withJsonBody(kStatusLine200, R"({"message":"Ara yanıttan sonra"})")),
             Outcome::Accepted, kAccepted + "Ara yanıttan sonra", peerSaw(1)});
        add({"control-200-body-ended-by-close",
             rawReply(kStatusLine200 + "Content-Type: application/json\r\n\r\n" +
                      R"({"message":"Kapanışla biten gövde"})"),
             Outcome::Accepted, kAccepted + "Kapanışla biten gövde", peerSaw(1)});
        PeerScript resetMidBody;
        resetMidBody.reply = kStatusLine200 +
                             "Content-Type: application/json\r\nContent-Length: 60\r\n\r\n" +
                             R"({"success":true,"message":"Skor ka)";
        resetMidBody.pauseBeforeEnding = 100ms;
        resetMidBody.ending = Ending::Reset;
        add({"resets-mid-body", raw(resetMidBody), Outcome::ConnectionFailure,
             kConnectionFailure, peerSaw(1)});
        PeerScript closesMidBody = resetMidBody;
        closesMidBody.ending = Ending::CloseNotify;
        add({"closes-mid-body-with-close-notify", raw(closesMidBody), Outcome::ConnectionFailure,
             kConnectionFailure, peerSaw(1)});
        PeerScript chunkedCut;
        chunkedCut.reply = kStatusLine200 + "Transfer-Encoding: chunked\r\n\r\n" +
                           "40\r\n" + R"({"success":true,"message":"Skor ka)";
        chunkedCut.pauseBeforeEnding = 100ms;
        chunkedCut.ending = Ending::CloseNotify;
        add({"closes-mid-chunk", raw(chunkedCut), Outcome::ConnectionFailure,
             kConnectionFailure, peerSaw(1)});
    }

    // Replies that are not HTTP at all.
    {
        add({"not-http-text", rawReply("SSH-2.0-OpenSSH_9.2p1 Debian-2\r\n"),
             Outcome::ConnectionFailure, kConnectionFailure, peerSaw(1)});
        std::string binary;
        for (int i = 0; i < 512; ++i) {
            binary.push_back(static_cast<char>((i * 37 + 11) & 0xff));
        }
        add({"not-http-binary", rawReply(binary), Outcome::ConnectionFailure,
             kConnectionFailure, peerSaw(1)});
        add({"not-http-json-without-status-line", rawReply(R"({"message":"HTTP/0.9 gibi"})"),
             Outcome::ConnectionFailure, kConnectionFailure, peerSaw(1)});
        PeerScript plainHttp;
        plainHttp.readRequest = false;
        plainHttp.reply = withJsonBody(kStatusLine200, R"({"message":"TLS'siz kabul"})");
        add({"not-tls-plain-http-reply", raw(plainHttp, 60s, false), Outcome::ConnectionFailure,
             kConnectionFailure, peerSaw(0)});
    }

    // Redirects are refused, never followed.
    for (const int status : {301, 302, 307, 308}) {
        const std::string code = std::to_string(status);
        add({"redirect-" + code, redirect(status, ""), Outcome::Refused, kRefusedFallback,
             redirectNotFollowed});
        add({"redirect-" + code + "-with-error-body",
             redirect(status, R"({"success":false,"error":"Taşındı )" + code + "\"}"),
             Outcome::Refused, kRefused + "Taşındı " + code, redirectNotFollowed});
    }

    // Completed replies other than 200 are refused.
    for (const int status : {201, 204, 404, 500}) {
        const std::string code = std::to_string(status);
        add({"status-" + code + "-without-body", scripted(status, ""), Outcome::Refused,
             kRefusedFallback, oneRequestAtTheServer});
        if (status == 204) {
            continue; // below: a 204 has no content, so its body goes over the raw peer
        }
        const std::string error = "Sunucu " + code + " dedi: çözülemedi";
        add({"status-" + code + "-with-error-body",
             scripted(status, R"({"success":false,"error":")" + error + "\"}"), Outcome::Refused,
             kRefused + error, oneRequestAtTheServer});
        add({"status-" + code + "-with-html-body",
             scripted(status, "<html><body>" + code + "</body></html>"), Outcome::Refused,
             kRefusedFallback, oneRequestAtTheServer});
    }
    // Whatever follows a 204's headers is not its content (RFC 9110 §15.3.5).
    add({"status-204-with-body",
         rawReply(withJsonBody("HTTP/1.1 204 No Content\r\n", R"({"error":"204 ama gövdeli"})")),
         Outcome::Refused, kRefusedFallback, peerSaw(1)});

    // 200 is accepted whatever its body; an unusable body only loses the message.
    add({"control-status-200", scripted(200, R"({"success":true,"message":"Skor kaydedildi"})"),
         Outcome::Accepted, kAccepted + "Skor kaydedildi", oneRequestAtTheServer});
    add({"body-200-not-json", scripted(200, "<html>Skor kaydedildi</html>"), Outcome::Accepted,
         kAcceptedFallback, oneRequestAtTheServer});
    add({"body-200-json-array", scripted(200, R"(["message","Skor kaydedildi"])"),
         Outcome::Accepted, kAcceptedFallback, oneRequestAtTheServer});
    add({"body-200-json-wrong-member-type",
         scripted(200, R"({"success":"evet","message":"Skor kaydedildi"})"), Outcome::Accepted,
         kAcceptedFallback, oneRequestAtTheServer});
    add({"body-200-json-nested-100000-arrays", scripted(200, deepArrays(100000)),
         Outcome::Accepted, kAcceptedFallback, oneRequestAtTheServer});
    add({"body-200-json-nested-100000-objects", scripted(200, deepObjectWithMessage(100000)),
         Outcome::Accepted, kAccepted + "Derin ama geçerli", oneRequestAtTheServer});
    add({"body-200-invalid-utf8", scripted(200, "{\"message\":\"Skor \xC3\x28 kaydedildi\"}"),
         Outcome::Accepted, kAcceptedFallback, oneRequestAtTheServer});
    add({"body-200-utf8-encoded-surrogate",
         scripted(200, "{\"message\":\"Skor \xED\xA0\x80 kaydedildi\"}"), Outcome::Accepted,
         kAcceptedFallback, oneRequestAtTheServer});
    add({"body-200-lone-surrogate-escape", scripted(200, R"({"message":"Skor \ud800"})"),
         Outcome::Accepted, kAcceptedFallback, oneRequestAtTheServer});

    // 64 MiB replies: reading stops at the 1 MiB cap and memory stays bounded.
    {
        PeerScript huge;
        huge.reply = kStatusLine200 + "Content-Type: application/json\r\nContent-Length: " +
                     std::to_string(64 * kMiB) + "\r\n\r\n";
        huge.stream = {GeneratedStream::Kind::Body, 64 * kMiB};
        add({"body-200-64MiB", raw(huge), Outcome::Accepted, kAcceptedFallback, streamCutShort,
             0ms, 10000ms, true});
        PeerScript hugeChunked;
        hugeChunked.reply = kStatusLine200 + "Transfer-Encoding: chunked\r\n\r\n";
        hugeChunked.stream = {GeneratedStream::Kind::ChunkedBody, 64 * kMiB};
        add({"body-200-64MiB-chunked", raw(hugeChunked), Outcome::Accepted, kAcceptedFallback,
             streamCutShort, 0ms, 10000ms, true});
        PeerScript hugeError;
        hugeError.reply = "HTTP/1.1 500 Internal Server Error\r\nContent-Length: " +
                          std::to_string(64 * kMiB) + "\r\n\r\n";
        hugeError.stream = {GeneratedStream::Kind::Body, 64 * kMiB,
                            R"({"success":false,"error":")", R"("})"};
        add({"body-500-64MiB-error", raw(hugeError), Outcome::Refused, kRefusedFallback,
             streamCutShort, 0ms, 10000ms, true});
        PeerScript endlessHeaders;
        endlessHeaders.reply = kStatusLine200 + "Content-Length: 0\r\n";
        endlessHeaders.stream = {GeneratedStream::Kind::HeaderLines, 64 * kMiB};
        add({"headers-64MiB", raw(endlessHeaders), Outcome::ConnectionFailure,
             kConnectionFailure, streamCutShort, 0ms, 10000ms, true});
    }
    return cases;
}

// ---- Running one case ------------------------------------------------------

// Runs the submission on its own thread; nullopt when it has not ended within
// `limit`, in which case the thread is left behind, holding only its copies.
std::optional<SubmissionResult> submitWithin(const Endpoint& endpoint,
                                             std::chrono::seconds limit) {
    auto promise = std::make_shared<std::promise<SubmissionResult>>();
    std::future<SubmissionResult> result = promise->get_future();
    std::thread worker([promise, endpoint] {
        promise->set_value(submission::submitPayload(endpoint, samplePayload()));
    });
    if (result.wait_for(limit) != std::future_status::ready) {
        worker.detach();
        return std::nullopt;
    }
    worker.join();
    return result.get();
}

const char* outcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Accepted:
        return "Accepted";
    case Outcome::Refused:
        return "Refused";
    case Outcome::ConnectionFailure:
        return "ConnectionFailure";
    }
    return "(not an outcome)";
}

bool isValidUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        unsigned long point = 0;
        if (byte < 0x80) {
            ++i;
            continue;
        } else if ((byte & 0xE0) == 0xC0) {
            length = 2;
            point = byte & 0x1F;
        } else if ((byte & 0xF0) == 0xE0) {
            length = 3;
            point = byte & 0x0F;
        } else if ((byte & 0xF8) == 0xF0) {
            length = 4;
            point = byte & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            point = (point << 6) | (next & 0x3F);
        }
        const unsigned long minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < minimum[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

// One field of /proc/self/status in KiB, or -1.
long statusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stol(line.substr(field.size() + 1));
        }
    }
    return -1;
}

long maxRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss; // KiB on Linux
}

// The process's peak RSS growth across a call, measured two ways: ru_maxrss,
// which cannot be reset and so may hide growth below an earlier peak, and
// VmHWM after resetting it through /proc/self/clear_refs, which is exact.
class PeakRssProbe {
public:
    PeakRssProbe() {
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5" << std::flush;
        rssBefore_ = statusKiB("VmRSS");
        hwmReset_ = clear.good() && rssBefore_ > 0 && statusKiB("VmHWM") <= rssBefore_ + 1024;
        maxRssBefore_ = maxRssKiB();
    }
    long rusageGrowthKiB() const { return maxRssKiB() - maxRssBefore_; }
    std::optional<long> exactGrowthKiB() const {
        if (!hwmReset_) {
            return std::nullopt;
        }
        return statusKiB("VmHWM") - rssBefore_;
    }

private:
    long rssBefore_ = -1;
    long maxRssBefore_ = 0;
    bool hwmReset_ = false;
};

class FaultMatrix : public testing::TestWithParam<FaultCase> {};

TEST_P(FaultMatrix, EndsInExactlyOneOutcomeWithItsText) {
    const FaultCase& c = GetParam();
    Scene scene;
    try {
        c.stage(scene);
    } catch (const std::exception& error) {
        FAIL() << "the peers could not be staged: " << error.what();
    }

    std::optional<PeakRssProbe> probe;
    if (c.boundedMemory) {
        probe.emplace();
    }
    const auto start = std::chrono::steady_clock::now();
    const std::optional<SubmissionResult> result = submitWithin(scene.endpoint, kHangLimit);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    if (!result) {
        FAIL() << "hang: no outcome after " << kHangLimit.count() << " s";
    }

    if (result->outcome != c.outcome || result->statusText != c.text) {
        ADD_FAILURE() << "ended as " << outcomeName(result->outcome) << " \""
                      << result->statusText << "\", expected " << outcomeName(c.outcome)
                      << " \"" << c.text << "\"";
    }
    if (!isValidUtf8(result->statusText)) {
        ADD_FAILURE() << "the status text is not valid UTF-8";
    }
    if (elapsed < c.atLeast || elapsed > c.atMost) {
        ADD_FAILURE() << "took " << elapsed.count() << " ms, outside [" << c.atLeast.count()
                      << ", " << c.atMost.count() << "] ms";
    }
    if (probe) {
        const long rusageGrowth = probe->rusageGrowthKiB();
        RecordProperty("ru_maxrss_growth_kib", std::to_string(rusageGrowth));
        if (rusageGrowth >= kMaxRssGrowthKiB) {
            ADD_FAILURE() << "ru_maxrss grew by " << rusageGrowth << " KiB";
        }
        if (const auto exact = probe->exactGrowthKiB()) {
            RecordProperty("peak_rss_growth_kib", std::to_string(*exact));
            if (*exact >= kMaxRssGrowthKiB) {
                ADD_FAILURE() << "peak RSS (VmHWM) grew by " << *exact << " KiB";
            }
        }
    }

    scene.stopPeers();
    if (c.verify) {
        c.verify(scene);
    }
}

std::string caseTestName(const testing::TestParamInfo<FaultCase>& info) {
    std::string name = info.param.name;
    for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) {
            ch = '_';
        }
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, testing::ValuesIn(faultCases()), caseTestName);

} // namespace
} // namespace faults
