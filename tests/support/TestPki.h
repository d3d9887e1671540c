#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// What a leaf certificate says about itself. Offsets count from now.
struct CertificateSpec {
    std::string commonName = "localhost";
    // OpenSSL subjectAltName notation, e.g. "IP:127.0.0.1" or "DNS:localhost".
    std::vector<std::string> subjectAltNames = {"IP:127.0.0.1", "DNS:localhost"};
    std::chrono::seconds notBeforeOffset = std::chrono::hours(-1);
    std::chrono::seconds notAfterOffset = std::chrono::hours(24);
};

// PEM files of an issued certificate, its private key and the CA that signed it.
struct IssuedCertificate {
    std::filesystem::path certFile;
    std::filesystem::path keyFile;
    std::filesystem::path caFile;
};

// A throwaway certificate authority in a private temporary folder, removed
// with the object. Two instances are two unrelated CAs, so one of them can
// play the CA that the client does not trust. Throws on OpenSSL failures.
class TestPki {
public:
    explicit TestPki(const std::string& caName = "Test Root CA");
    ~TestPki();
    TestPki(const TestPki&) = delete;
    TestPki& operator=(const TestPki&) = delete;

    // The CA certificate as a PEM bundle, for the client's trust seam.
    const std::filesystem::path& caFile() const { return caFile_; }
    const std::filesystem::path& directory() const { return directory_; }

    // A fresh key and a server certificate signed by this CA.
    IssuedCertificate issue(const CertificateSpec& spec = {});

private:
    std::filesystem::path directory_;
    std::filesystem::path caFile_;
    std::filesystem::path caKeyFile_;
    int issued_ = 0;
};

} // namespace testsupport
