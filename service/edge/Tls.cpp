#include "service/edge/Tls.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <boost/asio/ssl.hpp>

namespace service {
namespace {

namespace ssl = boost::asio::ssl;

// TLS 1.2 only with forward-secret AEAD suites (no CBC), and no SHA-1 or
// SHA-224 in any signature; TLS 1.3 has neither to begin with.
constexpr const char* kCiphers = "ECDHE+AESGCM:ECDHE+CHACHA20:!aNULL";
constexpr const char* kSignatures =
    "ECDSA+SHA256:ECDSA+SHA384:ECDSA+SHA512:rsa_pss_rsae_sha256:rsa_pss_rsae_sha384:"
    "rsa_pss_rsae_sha512:rsa_pss_pss_sha256:rsa_pss_pss_sha384:rsa_pss_pss_sha512:ed25519:"
    "RSA+SHA256:RSA+SHA384:RSA+SHA512";

std::string openSslError(const char* what) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    std::string text = what;
    if (code != 0) {
        text += std::string(": ") + ERR_reason_error_string(code);
    }
    return text;
}

} // namespace

std::optional<ssl::context> tlsContext(const std::string& certPem, const std::string& keyPem,
                                       std::string& problem) {
    ssl::context context(ssl::context::tls_server);
    SSL_CTX* native = context.native_handle();
    SSL_CTX_set_min_proto_version(native, TLS1_2_VERSION);
    SSL_CTX_set_options(native, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE |
                                    SSL_OP_NO_COMPRESSION);
    if (SSL_CTX_set_cipher_list(native, kCiphers) != 1 ||
        SSL_CTX_set1_sigalgs_list(native, kSignatures) != 1) {
        problem = openSslError("cannot set up TLS");
        return std::nullopt;
    }
    boost::system::error_code ec;
    context.use_certificate_chain(boost::asio::buffer(certPem), ec);
    if (ec) {
        problem = "the TLS certificate is not a usable PEM certificate: " + ec.message();
        return std::nullopt;
    }
    context.use_private_key(boost::asio::buffer(keyPem), ssl::context::pem, ec);
    if (ec &&
        ERR_GET_REASON(static_cast<unsigned long>(ec.value())) == X509_R_KEY_VALUES_MISMATCH) {
        problem = "the TLS certificate and key do not match";
        return std::nullopt;
    }
    if (ec) {
        problem = "the TLS key is not a usable PEM key: " + ec.message();
        return std::nullopt;
    }
    if (SSL_CTX_check_private_key(native) != 1) {
        ERR_clear_error();
        problem = "the TLS certificate and key do not match";
        return std::nullopt;
    }
    return context;
}

std::optional<std::string> tlsProblem(const std::string& certPem, const std::string& keyPem) {
    std::string problem;
    if (tlsContext(certPem, keyPem, problem)) {
        return std::nullopt;
    }
    return problem;
}

} // namespace service
