#include "popwire/CertificateFaults.h"

#include <openssl/x509_vfy.h>

#include "popwire.h"

namespace popwire {

void CertificateFaults::Add(int verifyError) {
    switch (verifyError) {
        case X509_V_OK:
            break;
        case X509_V_ERR_CERT_REVOKED:
            revoked = true;
            break;
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_CERT_NOT_YET_VALID:
            expired = true;
            break;
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        case X509_V_ERR_CERT_UNTRUSTED:
        case X509_V_ERR_CERT_REJECTED:
            untrusted = true;
            break;
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            noMatch = true;
            break;
        default:
            invalid = true;
            break;
    }
}

std::uint32_t CertificateFaults::Status() const {
    if (revoked) {
        return SECURITY_CERTIFICATE_REVOKED;
    }
    if (expired) {
        return SECURITY_CERTIFICATE_EXPIRED;
    }
    if (untrusted) {
        return SECURITY_CERTIFICATE_UNTRUSTED;
    }
    if (invalid) {
        return SECURITY_CERTIFICATE_INVALID;
    }
    if (noMatch) {
        return SECURITY_CERTIFICATE_NOMATCH;
    }
    return SECURITY_CERTIFICATE_VALID;
}

}  // namespace popwire
