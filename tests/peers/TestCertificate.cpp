#include "peers/TestCertificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>

namespace moxeltest {

namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* value) const { Free(value); }
};
using KeyPointer = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertificatePointer = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using ExtensionPointer =
    std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION, X509_EXTENSION_free>>;

void Require(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string("test certificate: ") + what + " failed");
    }
}

void AddExtension(X509* certificate, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    ExtensionPointer extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str()));
    Require(extension && X509_add_ext(certificate, extension.get(), -1) == 1, "extension");
}

void WritePem(const std::filesystem::path& file, const std::function<int(FILE*)>& write) {
    std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(file.c_str(), "w"), &std::fclose);
    Require(out && write(out.get()) == 1, "writing PEM");
}

}  // namespace

void WriteSelfSignedCertificate(const CertificateProfile& profile,
                                const std::filesystem::path& certificateFile,
                                const std::filesystem::path& keyFile) {
    KeyPointer key(EVP_RSA_gen(2048));
    Require(key != nullptr, "key generation");
    CertificatePointer certificate(X509_new());
    Require(certificate != nullptr, "X509_new");
    X509* cert = certificate.get();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert),
                    std::chrono::duration_cast<std::chrono::seconds>(profile.validFrom).count());
    X509_gmtime_adj(X509_getm_notAfter(cert),
                    std::chrono::duration_cast<std::chrono::seconds>(profile.validUntil).count());
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Moxel Test Peers"), -1, -1,
                               0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(profile.name.c_str()), -1, -1,
                               0);
    X509_set_issuer_name(cert, name);
    Require(X509_set_pubkey(cert, key.get()) == 1, "public key");
    std::string alternatives = "DNS:" + profile.name;
    if (profile.name == "localhost") {
        alternatives += ",IP:127.0.0.1";
    }
    AddExtension(cert, NID_subject_alt_name, alternatives);
    AddExtension(cert, NID_basic_constraints, "critical,CA:TRUE");
    Require(X509_sign(cert, key.get(), EVP_sha256()) > 0, "signing");
    WritePem(certificateFile, [&](FILE* out) { return PEM_write_X509(out, cert); });
    WritePem(keyFile, [&](FILE* out) {
        return PEM_write_PrivateKey(out, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
}

}  // namespace moxeltest
