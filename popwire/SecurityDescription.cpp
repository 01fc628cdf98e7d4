#include "popwire/SecurityDescription.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <ctime>
#include <memory>

#include "netframe/TextConversion.h"
#include "popwire.h"

namespace popwire {

namespace {

std::uint32_t ProtocolOf(const SSL* ssl) {
    switch (SSL_version(ssl)) {
        case SSL3_VERSION:
            return SECURITY_PROTOCOL_SSL3;
        case TLS1_VERSION:
        case TLS1_1_VERSION:
        case TLS1_2_VERSION:
        case TLS1_3_VERSION:
            return SECURITY_PROTOCOL_TLS1;
        default:
            return SECURITY_PROTOCOL_UNKNOWN;
    }
}

std::uint32_t CipherOf(const SSL_CIPHER* cipher) {
    switch (SSL_CIPHER_get_cipher_nid(cipher)) {
        case NID_undef:
            return SECURITY_CIPHER_NONE;
        case NID_rc2_cbc:
        case NID_rc2_40_cbc:
            return SECURITY_CIPHER_RC2;
        case NID_rc4:
        case NID_rc4_40:
            return SECURITY_CIPHER_RC4;
        case NID_des_cbc:
            return SECURITY_CIPHER_DES;
        case NID_des_ede3_cbc:
            return SECURITY_CIPHER_DES3;
        default:
            return SECURITY_CIPHER_UNKNOWN;
    }
}

// The message digest of the suite, or for AEAD suites (which have none of their own) the
// digest of the handshake.
const EVP_MD* DigestOf(const SSL_CIPHER* cipher) {
    const int nid = SSL_CIPHER_get_digest_nid(cipher);
    if (nid != NID_undef) {
        return EVP_get_digestbynid(nid);
    }
    return SSL_CIPHER_get_handshake_digest(cipher);
}

std::uint32_t HashOf(const EVP_MD* digest) {
    if (!digest) {
        return SECURITY_HASH_NONE;
    }
    switch (EVP_MD_get_type(digest)) {
        case NID_md5:
            return SECURITY_HASH_MD5;
        case NID_sha1:
        case NID_sha224:
        case NID_sha256:
        case NID_sha384:
        case NID_sha512:
            return SECURITY_HASH_SHA;
        default:
            return SECURITY_HASH_UNKNOWN;
    }
}

std::uint32_t KeyExchangeOf(const SSL_CIPHER* cipher) {
    switch (SSL_CIPHER_get_kx_nid(cipher)) {
        case NID_kx_rsa:
            return SECURITY_KEYEX_RSA;
        case NID_kx_dhe:
        case NID_kx_ecdhe:
        case NID_kx_any:  // TLS 1.3: always an (EC)DHE exchange
            return SECURITY_KEYEX_DH;
        default:
            return SECURITY_KEYEX_UNKNOWN;
    }
}

POPSYSTEMTIME CalendarTime(const ASN1_TIME* time) {
    POPSYSTEMTIME result{};
    std::tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1) {
        return result;
    }
    // ASN1_TIME_to_tm leaves the day of the week alone; timegm works it out.
    timegm(&parts);
    result.wYear = static_cast<std::uint16_t>(parts.tm_year + 1900);
    result.wMonth = static_cast<std::uint16_t>(parts.tm_mon + 1);
    result.wDayOfWeek = static_cast<std::uint16_t>(parts.tm_wday);
    result.wDay = static_cast<std::uint16_t>(parts.tm_mday);
    result.wHour = static_cast<std::uint16_t>(parts.tm_hour);
    result.wMinute = static_cast<std::uint16_t>(parts.tm_min);
    result.wSecond = static_cast<std::uint16_t>(parts.tm_sec);
    return result;
}

// "CN=localhost,O=Example" (RFC 2253 order and escaping, UTF-8).
std::string NameText(const X509_NAME* name) {
    std::unique_ptr<BIO, decltype(&BIO_free)> memory(BIO_new(BIO_s_mem()), &BIO_free);
    if (!name || !memory ||
        X509_NAME_print_ex(memory.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) < 0) {
        return {};
    }
    char* text = nullptr;
    const long length = BIO_get_mem_data(memory.get(), &text);
    return length > 0 ? std::string(text, static_cast<std::size_t>(length)) : std::string();
}

}  // namespace

SecurityDetails DescribeSession(const SSL* ssl, std::uint32_t certificateStatus) {
    SecurityDetails details;
    details.protocol = ProtocolOf(ssl);
    if (const SSL_CIPHER* cipher = SSL_get_current_cipher(ssl)) {
        details.cipher = CipherOf(cipher);
        details.cipherStrength = static_cast<std::uint32_t>(SSL_CIPHER_get_bits(cipher, nullptr));
        const EVP_MD* digest = DigestOf(cipher);
        details.hash = HashOf(digest);
        details.hashStrength = digest ? static_cast<std::uint32_t>(EVP_MD_get_size(digest) * 8) : 0;
        details.keyExchange = KeyExchangeOf(cipher);
    }
    const X509* certificate = SSL_get0_peer_certificate(ssl);
    if (!certificate) {
        details.certificateStatus = SECURITY_CERTIFICATE_INVALID;
        return details;
    }
    details.certificateStatus = certificateStatus;
    details.issued = CalendarTime(X509_get0_notBefore(certificate));
    details.expires = CalendarTime(X509_get0_notAfter(certificate));
    details.issuer = NameText(X509_get_issuer_name(certificate));
    details.subject = NameText(X509_get_subject_name(certificate));
    details.wideIssuer = netframe::ToUtf16(details.issuer);
    details.wideSubject = netframe::ToUtf16(details.subject);
    return details;
}

}  // namespace popwire
