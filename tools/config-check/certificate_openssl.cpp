#include "tools/config-check/certificate_check.h"

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace {

using Bio = std::unique_ptr<BIO, decltype(&BIO_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;
using Octets = std::unique_ptr<ASN1_OCTET_STRING, decltype(&ASN1_OCTET_STRING_free)>;

}  // namespace

bool CoversIpLiteralOnlyAsAddress(const std::string& pem, const std::string& host) {
    std::string address = host;
    if (address.size() > 2 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    const Octets literal(a2i_IPADDRESS(address.c_str()), ASN1_OCTET_STRING_free);
    if (!literal) return false;
    const Bio source(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
    if (!source) return false;
    const Certificate certificate(PEM_read_bio_X509(source.get(), nullptr, nullptr, nullptr),
                                  X509_free);
    if (!certificate) return false;
    // The subject's common name does not count: a certificate with a subjectAltName is matched
    // against that alone.
    const unsigned int flags = X509_CHECK_FLAG_NEVER_CHECK_SUBJECT;
    return X509_check_ip_asc(certificate.get(), address.c_str(), flags) == 1 &&
           X509_check_host(certificate.get(), address.c_str(), address.size(), flags, nullptr) != 1;
}
