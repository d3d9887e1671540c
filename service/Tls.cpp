#include "service/HttpServer.h"

#include <gnutls/gnutls.h>

namespace service {

std::optional<std::string> tlsProblem(const std::string& certPem, const std::string& keyPem) {
    gnutls_certificate_credentials_t credentials = nullptr;
    if (gnutls_certificate_allocate_credentials(&credentials) != GNUTLS_E_SUCCESS) {
        return "cannot set up TLS";
    }
    gnutls_datum_t cert{reinterpret_cast<unsigned char*>(const_cast<char*>(certPem.data())),
                        static_cast<unsigned>(certPem.size())};
    gnutls_datum_t key{reinterpret_cast<unsigned char*>(const_cast<char*>(keyPem.data())),
                       static_cast<unsigned>(keyPem.size())};
    const int result =
        gnutls_certificate_set_x509_key_mem(credentials, &cert, &key, GNUTLS_X509_FMT_PEM);
    gnutls_certificate_free_credentials(credentials);
    if (result < 0) {
        return std::string("the TLS certificate and key are not a usable PEM pair: ") +
               gnutls_strerror(result);
    }
    return std::nullopt;
}

} // namespace service
