#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace moxeltest {

// What a test server's certificate looks like: the name it is issued for (DNS name; the
// loopback address 127.0.0.1 is added when the name is "localhost") and when it is valid.
struct CertificateProfile {
    std::string name = "localhost";
    // Validity relative to now; a negative `validUntil` makes an expired certificate.
    std::chrono::hours validFrom{-24};
    std::chrono::hours validUntil{24 * 30};
};

// Writes a self-signed certificate (RSA 2048, SHA-256) and its unencrypted private key as PEM
// files. Throws std::runtime_error when OpenSSL fails.
void WriteSelfSignedCertificate(const CertificateProfile& profile,
                                const std::filesystem::path& certificateFile,
                                const std::filesystem::path& keyFile);

}  // namespace moxeltest
