#include "popwire/TlsContext.h"

#include "netframe/LastError.h"
#include "popwire.h"
#include "popwire/CertificateFaults.h"
#include "popwire/ClientCertificate.h"

namespace popwire {

namespace {

// Verification goes on past every fault: the session is set up and its certificate status
// tells the caller what was wrong.
int RecordFault(int preverifyOk, X509_STORE_CTX* store) {
    if (!preverifyOk) {
        auto* ssl = static_cast<SSL*>(
            X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        if (ssl) {
            if (auto* faults = static_cast<CertificateFaults*>(
                    SSL_get_ex_data(ssl, TlsContext::FaultsIndex()))) {
                faults->Add(X509_STORE_CTX_get_error(store));
            }
        }
    }
    return 1;
}

}  // namespace

bool TlsContext::Prepare() {
    static const bool prepared = OPENSSL_init_ssl(0, nullptr) == 1;
    return prepared ? true : netframe::Fail(ERROR_POP_SECURE_INITIALIZE, false);
}

TlsContextPointer TlsContext::Make() {
    TlsContextPointer context(SSL_CTX_new(TLS_client_method()));
    if (!context || SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) != 1 ||
        SSL_CTX_set_default_verify_paths(context.get()) != 1) {
        return netframe::Fail(ERROR_POP_SECURE_CREDENTIALS, nullptr);
    }
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, &RecordFault);
    SSL_CTX_set_client_cert_cb(context.get(), &SupplyClientCertificate);
    return context;
}

int TlsContext::FaultsIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

int TlsContext::MissingCertificateIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

void TlsContext::NoteMissingCertificate(SSL* ssl) {
    if (auto* missing = static_cast<bool*>(SSL_get_ex_data(ssl, MissingCertificateIndex()))) {
        *missing = true;
    }
}

}  // namespace popwire
