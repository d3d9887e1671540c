// The fault matrix's cases, one per fault, grouped by what goes wrong.

#include "faults/FaultScenes.h"
#include "submission/Submission.h"
#include "support/ExpectedTexts.h"
#include "support/TestPki.h"
#include "support/TlsTestServer.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace faults {
namespace {

using namespace std::chrono_literals;
using submission::Endpoint;
using submission::Outcome;
using testsupport::CertificateSpec;

using namespace testsupport::texts;

constexpr std::size_t kMiB = std::size_t{1} << 20;

const std::string kStatusLine200 = "HTTP/1.1 200 OK\r\n";

// Appends one case to the matrix.
using AddCase = std::function<void(FaultCase)>;

// ---- The matrix ------------------------------------------------------------

// Nothing to talk to.
void connectionCases(const AddCase& add) {
    add({"connection-refused",
         [](Scene& scene) {
             scene.endpoint = Endpoint{
                 "https://127.0.0.1:" + std::to_string(testsupport::closedLoopbackPort()), "", 60s};
         },
         Outcome::ConnectionFailure, kConnectionFailure});
    // .invalid never resolves (RFC 6761); the short idle limit also bounds a
    // resolver that stays silent instead of answering NXDOMAIN.
    add({"name-does-not-resolve",
         [](Scene& scene) {
             scene.endpoint = Endpoint{"https://scores.benchmark.invalid", "", 5s};
         },
         Outcome::ConnectionFailure, kConnectionFailure, nullptr, 0ms, 7000ms});
}

// TLS: every failure is the connection failure, and no request goes out.
void tlsCases(const AddCase& add) {
    add({"tls-untrusted-ca", untrustedServer({}, true), Outcome::ConnectionFailure,
         kConnectionFailure, noRequestAtTheServer});
    CertificateSpec otherHost;
    otherHost.commonName = "scores.example.org";
    otherHost.subjectAltNames = {"DNS:scores.example.org"};
    add({"tls-other-host-name", untrustedServer(otherHost, false), Outcome::ConnectionFailure,
         kConnectionFailure, noRequestAtTheServer});
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
    add({"tls-not-yet-valid", untrustedServer(notYetValid, false), Outcome::ConnectionFailure,
         kConnectionFailure, noRequestAtTheServer});
}

// Peers that go quiet: the 1 s idle limit ends the exchange.
void silenceCases(const AddCase& add) {
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
void hangUpBeforeBodyCases(const AddCase& add) {
    PeerScript resetAtOnce;
    resetAtOnce.readRequest = false;
    resetAtOnce.ending = Ending::Reset;
    add({"reset-before-tls-handshake", raw(resetAtOnce, 60s, false), Outcome::ConnectionFailure,
         kConnectionFailure, peerSaw(0)});
    const std::string partialHeaders = kStatusLine200 + "Content-Type: appli";
    add({"closes-mid-headers", rawReply(partialHeaders, Ending::Close), Outcome::ConnectionFailure,
         kConnectionFailure, peerSaw(1)});
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
         rawReply("HTTP/1.1 100 Continue\r\n\r\n" + partialHeaders), Outcome::ConnectionFailure,
         kConnectionFailure, peerSaw(1)});
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
}

// ... and in the body.
void hangUpMidBodyCases(const AddCase& add) {
    PeerScript resetMidBody;
    resetMidBody.reply = kStatusLine200 +
                         "Content-Type: application/json\r\nContent-Length: 60\r\n\r\n" +
                         R"({"success":true,"message":"Skor ka)";
    resetMidBody.pauseBeforeEnding = 100ms;
    resetMidBody.ending = Ending::Reset;
    add({"resets-mid-body", raw(resetMidBody), Outcome::ConnectionFailure, kConnectionFailure,
         peerSaw(1)});
    PeerScript closesMidBody = resetMidBody;
    closesMidBody.ending = Ending::CloseNotify;
    add({"closes-mid-body-with-close-notify", raw(closesMidBody), Outcome::ConnectionFailure,
         kConnectionFailure, peerSaw(1)});
    PeerScript chunkedCut;
    chunkedCut.reply = kStatusLine200 + "Transfer-Encoding: chunked\r\n\r\n" + "40\r\n" +
                       R"({"success":true,"message":"Skor ka)";
    chunkedCut.pauseBeforeEnding = 100ms;
    chunkedCut.ending = Ending::CloseNotify;
    add({"closes-mid-chunk", raw(chunkedCut), Outcome::ConnectionFailure, kConnectionFailure,
         peerSaw(1)});
}

// Replies that are not HTTP at all.
void notHttpCases(const AddCase& add) {
    add({"not-http-text", rawReply("SSH-2.0-OpenSSH_9.2p1 Debian-2\r\n"),
         Outcome::ConnectionFailure, kConnectionFailure, peerSaw(1)});
    std::string binary;
    for (int i = 0; i < 512; ++i) {
        binary.push_back(static_cast<char>((i * 37 + 11) & 0xff));
    }
    add({"not-http-binary", rawReply(binary), Outcome::ConnectionFailure, kConnectionFailure,
         peerSaw(1)});
    add({"not-http-json-without-status-line", rawReply(R"({"message":"HTTP/0.9 gibi"})"),
         Outcome::ConnectionFailure, kConnectionFailure, peerSaw(1)});
    PeerScript plainHttp;
    plainHttp.readRequest = false;
    plainHttp.reply = withJsonBody(kStatusLine200, R"({"message":"TLS'siz kabul"})");
    add({"not-tls-plain-http-reply", raw(plainHttp, 60s, false), Outcome::ConnectionFailure,
         kConnectionFailure, peerSaw(0)});
}

// Redirects are refused, never followed.
void redirectCases(const AddCase& add) {
    for (const int status : {301, 302, 307, 308}) {
        const std::string code = std::to_string(status);
        add({"redirect-" + code, redirect(status, ""), Outcome::Refused, kRefusedFallback,
             redirectNotFollowed});
        add({"redirect-" + code + "-with-error-body",
             redirect(status, R"({"success":false,"error":"Taşındı )" + code + "\"}"),
             Outcome::Refused, kRefused + "Taşındı " + code, redirectNotFollowed});
    }
}

// Completed replies other than 200 are refused.
void statusCases(const AddCase& add) {
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
}

// 200 is accepted whatever its body; an unusable body only loses the message.
void bodyCases(const AddCase& add) {
    add({"control-status-200", scripted(200, R"({"success":true,"message":"Skor kaydedildi"})"),
         Outcome::Accepted, kAccepted + "Skor kaydedildi", oneRequestAtTheServer});
    add({"body-200-not-json", scripted(200, "<html>Skor kaydedildi</html>"), Outcome::Accepted,
         kAcceptedFallback, oneRequestAtTheServer});
    add({"body-200-json-array", scripted(200, R"(["message","Skor kaydedildi"])"),
         Outcome::Accepted, kAcceptedFallback, oneRequestAtTheServer});
    add({"body-200-json-wrong-member-type",
         scripted(200, R"({"success":"evet","message":"Skor kaydedildi"})"), Outcome::Accepted,
         kAcceptedFallback, oneRequestAtTheServer});
    add({"body-200-json-nested-100000-arrays", scripted(200, deepArrays(100000)), Outcome::Accepted,
         kAcceptedFallback, oneRequestAtTheServer});
    add({"body-200-json-nested-100000-objects", scripted(200, deepObjectWithMessage(100000)),
         Outcome::Accepted, kAccepted + "Derin ama geçerli", oneRequestAtTheServer});
    add({"body-200-invalid-utf8", scripted(200, "{\"message\":\"Skor \xC3\x28 kaydedildi\"}"),
         Outcome::Accepted, kAcceptedFallback, oneRequestAtTheServer});
    add({"body-200-utf8-encoded-surrogate",
         scripted(200, "{\"message\":\"Skor \xED\xA0\x80 kaydedildi\"}"), Outcome::Accepted,
         kAcceptedFallback, oneRequestAtTheServer});
    add({"body-200-lone-surrogate-escape", scripted(200, R"({"message":"Skor \ud800"})"),
         Outcome::Accepted, kAcceptedFallback, oneRequestAtTheServer});
}

// 64 MiB replies: reading stops at the 1 MiB cap and memory stays bounded.
void hugeReplyCases(const AddCase& add) {
    PeerScript huge;
    huge.reply = kStatusLine200 +
                 "Content-Type: application/json\r\nContent-Length: " + std::to_string(64 * kMiB) +
                 "\r\n\r\n";
    huge.stream = {GeneratedStream::Kind::Body, 64 * kMiB};
    add({"body-200-64MiB", raw(huge), Outcome::Accepted, kAcceptedFallback, streamCutShort, 0ms,
         10000ms, true});
    PeerScript hugeChunked;
    hugeChunked.reply = kStatusLine200 + "Transfer-Encoding: chunked\r\n\r\n";
    hugeChunked.stream = {GeneratedStream::Kind::ChunkedBody, 64 * kMiB};
    add({"body-200-64MiB-chunked", raw(hugeChunked), Outcome::Accepted, kAcceptedFallback,
         streamCutShort, 0ms, 10000ms, true});
    PeerScript hugeError;
    hugeError.reply =
        "HTTP/1.1 500 Internal Server Error\r\nContent-Length: " + std::to_string(64 * kMiB) +
        "\r\n\r\n";
    hugeError.stream = {GeneratedStream::Kind::Body, 64 * kMiB, R"({"success":false,"error":")",
                        R"("})"};
    add({"body-500-64MiB-error", raw(hugeError), Outcome::Refused, kRefusedFallback, streamCutShort,
         0ms, 10000ms, true});
    PeerScript endlessHeaders;
    endlessHeaders.reply = kStatusLine200 + "Content-Length: 0\r\n";
    endlessHeaders.stream = {GeneratedStream::Kind::HeaderLines, 64 * kMiB};
    add({"headers-64MiB", raw(endlessHeaders), Outcome::ConnectionFailure, kConnectionFailure,
         streamCutShort, 0ms, 10000ms, true});
}

} // namespace

std::vector<FaultCase> faultCases() {
    std::vector<FaultCase> cases;
    const AddCase add = [&cases](FaultCase c) { cases.push_back(std::move(c)); };
    connectionCases(add);
    tlsCases(add);
    silenceCases(add);
    hangUpBeforeBodyCases(add);
    hangUpMidBodyCases(add);
    notHttpCases(add);
    redirectCases(add);
    statusCases(add);
    bodyCases(add);
    hugeReplyCases(add);
    return cases;
}

} // namespace faults
