#include "popwire/ClientCertificate.h"

#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <system_error>
#include <vector>

#include "popwire/TlsContext.h"

namespace popwire {

namespace {

struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using CertificatePointer = std::unique_ptr<X509, X509Free>;
using KeyPointer = std::unique_ptr<EVP_PKEY, KeyFree>;

struct Candidate {
    CertificatePointer certificate;
    KeyPointer key;
};

CertificatePointer ReadCertificate(const std::filesystem::path& file) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new_file(file.c_str(), "r"));
    return CertificatePointer(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)
                                  : nullptr);
}

KeyPointer ReadKey(const std::filesystem::path& file) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new_file(file.c_str(), "r"));
    // An encrypted key has no passphrase to open it here; it is skipped. Without a callback of
    // our own OpenSSL would ask for one on the terminal and hold the handshake until answered.
    const auto noPassphrase = [](char*, int, int, void*) { return 0; };
    return KeyPointer(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassphrase, nullptr)
                          : nullptr);
}

bool AllowsClientAuthentication(X509* certificate) {
    return (X509_get_extension_flags(certificate) & EXFLAG_XKUSAGE) != 0 &&
           (X509_get_extended_key_usage(certificate) & XKU_SSL_CLIENT) != 0;
}

bool ValidNow(X509* certificate) {
    return X509_cmp_current_time(X509_get0_notBefore(certificate)) < 0 &&
           X509_cmp_current_time(X509_get0_notAfter(certificate)) > 0;
}

bool IssuerAccepted(X509* certificate, const STACK_OF(X509_NAME) * accepted) {
    const int count = accepted ? sk_X509_NAME_num(accepted) : 0;
    if (count == 0) {
        return true;
    }
    const X509_NAME* issuer = X509_get_issuer_name(certificate);
    for (int i = 0; i < count; ++i) {
        if (X509_NAME_cmp(issuer, sk_X509_NAME_value(accepted, i)) == 0) {
            return true;
        }
    }
    return false;
}

// The certificate and key of one file, when they suit the server.
Candidate Examine(const std::filesystem::path& file, const STACK_OF(X509_NAME) * accepted) {
    CertificatePointer certificate = ReadCertificate(file);
    if (!certificate || !AllowsClientAuthentication(certificate.get()) ||
        !ValidNow(certificate.get()) || !IssuerAccepted(certificate.get(), accepted)) {
        return {};
    }
    KeyPointer key = ReadKey(file);
    if (!key) {
        key = ReadKey(std::filesystem::path(file).replace_extension(".key"));
    }
    if (!key || X509_check_private_key(certificate.get(), key.get()) != 1) {
        return {};
    }
    return {std::move(certificate), std::move(key)};
}

std::vector<std::filesystem::path> CertificateFiles() {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(ClientCertificateFolder(), error), end;
         !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error) && it->path().extension() == ".pem") {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

std::filesystem::path ClientCertificateFolder() {
    if (const char* folder = std::getenv("MOXEL_CERTIFICATE_DIR"); folder && *folder) {
        return folder;
    }
    std::filesystem::path config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        config = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        config = std::filesystem::path(home) / ".config";
    } else {
        return {};
    }
    return config / "Ostrand" / "Moxel" / "certificates";
}

int SupplyClientCertificate(SSL* ssl, X509** certificate, EVP_PKEY** key) {
    const STACK_OF(X509_NAME)* accepted = SSL_get_client_CA_list(ssl);
    for (const auto& file : CertificateFiles()) {
        Candidate found = Examine(file, accepted);
        if (found.certificate) {
            // OpenSSL takes both over.
            *certificate = found.certificate.release();
            *key = found.key.release();
            return 1;
        }
    }
    TlsContext::NoteMissingCertificate(ssl);
    return 0;
}

}  // namespace popwire
