#pragma once

#include <openssl/ssl.h>

#include <memory>

namespace popwire {

struct TlsContextFree {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
using TlsContextPointer = std::unique_ptr<SSL_CTX, TlsContextFree>;

// The TLS client configuration of a connection: TLS 1.2 and later, the system's trusted
// authorities (OpenSSL's default paths, read afresh for every connection, so SSL_CERT_FILE and
// SSL_CERT_DIR apply) and a certificate check that records every fault in the session's
// CertificateFaults instead of ending the handshake, and the user's client certificates for a
// server that asks for one (ClientCertificate.h). Any thread.
class TlsContext {
public:
    // Loads OpenSSL's TLS support (once per process). False with ERROR_POP_SECURE_INITIALIZE.
    static bool Prepare();

    // A configuration for one connection; null with ERROR_POP_SECURE_CREDENTIALS.
    static TlsContextPointer Make();

    // The index of the SSL object's data slot that holds its CertificateFaults.
    static int FaultsIndex();

    // The index of the slot that holds a bool: the server asked for a client certificate and
    // the user has none that suits it.
    static int MissingCertificateIndex();
    static void NoteMissingCertificate(SSL* ssl);
};

}  // namespace popwire
