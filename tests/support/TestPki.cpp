#include "support/TestPki.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace testsupport {
namespace {

template <auto Free> struct Deleter {
    template <class T> void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using BnPtr = std::unique_ptr<BIGNUM, Deleter<BN_free>>;

void check(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string("TestPki: ") + what + " failed");
    }
}

KeyPtr newKey() {
    KeyPtr key(EVP_EC_gen("P-256"));
    check(key != nullptr, "key generation");
    return key;
}

void addExtension(X509* cert, X509V3_CTX* ctx, int nid, const std::string& value) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, ctx, nid, value.c_str());
    check(ext != nullptr, "extension");
    const int added = X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
    check(added == 1, "adding an extension");
}

// A certificate for `key` with everything but the extensions and signature.
CertPtr newCertificate(EVP_PKEY* key, const std::string& commonName, long notBefore,
                       long notAfter) {
    CertPtr cert(X509_new());
    check(cert != nullptr, "X509_new");
    check(X509_set_version(cert.get(), X509_VERSION_3) == 1, "version");
    BnPtr serial(BN_new());
    check(serial && BN_rand(serial.get(), 64, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1, "serial");
    check(BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert.get())) != nullptr, "serial");
    check(X509_gmtime_adj(X509_getm_notBefore(cert.get()), notBefore) != nullptr, "notBefore");
    check(X509_gmtime_adj(X509_getm_notAfter(cert.get()), notAfter) != nullptr, "notAfter");
    check(X509_set_pubkey(cert.get(), key) == 1, "public key");
    X509_NAME* name = X509_get_subject_name(cert.get());
    check(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                     reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                                     -1, 0) == 1,
          "subject");
    return cert;
}

void writeCertificate(const std::filesystem::path& path, X509* cert) {
    BioPtr out(BIO_new_file(path.c_str(), "w"));
    check(out && PEM_write_bio_X509(out.get(), cert) == 1, "writing a certificate");
}

void writeKey(const std::filesystem::path& path, EVP_PKEY* key) {
    BioPtr out(BIO_new_file(path.c_str(), "w"));
    check(out &&
              PEM_write_bio_PrivateKey(out.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1,
          "writing a key");
}

CertPtr readCertificate(const std::filesystem::path& path) {
    BioPtr in(BIO_new_file(path.c_str(), "r"));
    check(in != nullptr, "opening a certificate");
    CertPtr cert(PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr));
    check(cert != nullptr, "reading a certificate");
    return cert;
}

KeyPtr readKey(const std::filesystem::path& path) {
    BioPtr in(BIO_new_file(path.c_str(), "r"));
    check(in != nullptr, "opening a key");
    KeyPtr key(PEM_read_bio_PrivateKey(in.get(), nullptr, nullptr, nullptr));
    check(key != nullptr, "reading a key");
    return key;
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& name : names) {
        out += (out.empty() ? "" : ",") + name;
    }
    return out;
}

std::filesystem::path makeTempDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "test-pki-XXXXXX").string();
    check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    return pattern;
}

} // namespace

TestPki::TestPki(const std::string& caName)
    : directory_(makeTempDirectory()), caFile_(directory_ / "ca.pem"),
      caKeyFile_(directory_ / "ca-key.pem") {
    KeyPtr key = newKey();
    const long tenYears = 10L * 365 * 24 * 3600;
    CertPtr cert = newCertificate(key.get(), caName, -3600, tenYears);
    check(X509_set_issuer_name(cert.get(), X509_get_subject_name(cert.get())) == 1, "issuer");
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert.get(), cert.get(), nullptr, nullptr, 0);
    addExtension(cert.get(), &ctx, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert.get(), &ctx, NID_key_usage, "critical,keyCertSign,cRLSign");
    addExtension(cert.get(), &ctx, NID_subject_key_identifier, "hash");
    check(X509_sign(cert.get(), key.get(), EVP_sha256()) > 0, "signing the CA");
    writeCertificate(caFile_, cert.get());
    writeKey(caKeyFile_, key.get());
}

TestPki::~TestPki() {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

IssuedCertificate TestPki::issue(const CertificateSpec& spec) {
    CertPtr caCert = readCertificate(caFile_);
    KeyPtr caKey = readKey(caKeyFile_);
    KeyPtr key = newKey();
    CertPtr cert = newCertificate(key.get(), spec.commonName, spec.notBeforeOffset.count(),
                                  spec.notAfterOffset.count());
    check(X509_set_issuer_name(cert.get(), X509_get_subject_name(caCert.get())) == 1, "issuer");
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, caCert.get(), cert.get(), nullptr, nullptr, 0);
    addExtension(cert.get(), &ctx, NID_basic_constraints, "critical,CA:FALSE");
    addExtension(cert.get(), &ctx, NID_key_usage, "critical,digitalSignature");
    addExtension(cert.get(), &ctx, NID_ext_key_usage, "serverAuth");
    addExtension(cert.get(), &ctx, NID_subject_key_identifier, "hash");
    addExtension(cert.get(), &ctx, NID_authority_key_identifier, "keyid:always");
    if (!spec.subjectAltNames.empty()) {
        addExtension(cert.get(), &ctx, NID_subject_alt_name, joined(spec.subjectAltNames));
    }
    check(X509_sign(cert.get(), caKey.get(), EVP_sha256()) > 0, "signing a certificate");

    const std::string stem = "leaf-" + std::to_string(++issued_);
    IssuedCertificate issued{directory_ / (stem + ".pem"), directory_ / (stem + "-key.pem"),
                             caFile_};
    writeCertificate(issued.certFile, cert.get());
    writeKey(issued.keyFile, key.get());
    return issued;
}

} // namespace testsupport
