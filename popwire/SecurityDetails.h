#pragma once

#include <cstdint>
#include <string>

#include "popwire.h"

namespace popwire {

// What PopGetSecurityInformation reports about a session: the negotiated protocol, cipher,
// hash and key exchange in the library's constants, and the result of the certificate check
// with the certificate's dates and names. All NONE for a session without TLS. Owned by one
// client; the texts stay put until the client is closed, because callers get pointers to them.
struct SecurityDetails {
    std::uint32_t protocol = SECURITY_PROTOCOL_NONE;
    std::uint32_t cipher = SECURITY_CIPHER_NONE;
    std::uint32_t cipherStrength = 0;
    std::uint32_t hash = SECURITY_HASH_NONE;
    std::uint32_t hashStrength = 0;
    std::uint32_t keyExchange = SECURITY_KEYEX_NONE;
    std::uint32_t certificateStatus = SECURITY_CERTIFICATE_NONE;
    POPSYSTEMTIME issued{};
    POPSYSTEMTIME expires{};
    std::string issuer;
    std::string subject;
    std::u16string wideIssuer;
    std::u16string wideSubject;
};

}  // namespace popwire
