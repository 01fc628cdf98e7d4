#pragma once

#include <cstdint>

namespace popwire {

// The faults that checking a server's certificate found, as the library reports them: one
// SECURITY_CERTIFICATE_ status for the worst. Owned by one TLS session.
class CertificateFaults {
public:
    // Records one OpenSSL verification error (X509_V_ERR_...).
    void Add(int verifyError);

    // The status to report: the first of revoked, expired, untrusted, invalid and no match
    // that was found, otherwise SECURITY_CERTIFICATE_VALID.
    std::uint32_t Status() const;

private:
    bool revoked = false;
    bool expired = false;
    bool untrusted = false;
    bool invalid = false;
    bool noMatch = false;
};

}  // namespace popwire
