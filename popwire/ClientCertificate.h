#pragma once

#include <openssl/ssl.h>

#include <filesystem>

namespace popwire {

// The user's client certificates for TLS client authentication: PEM files in a folder of the
// user's configuration, each holding a certificate (the first in the file; more may follow as
// its chain) and its private key, or the key in a file of the same name ending in ".key".

// The folder: $MOXEL_CERTIFICATE_DIR when set, else $XDG_CONFIG_HOME/Ostrand/Moxel/certificates,
// else ~/.config/Ostrand/Moxel/certificates.
std::filesystem::path ClientCertificateFolder();

// OpenSSL's client certificate callback: when the server asks for a certificate, the first
// file of the folder (in name order) whose certificate allows client authentication
// (1.3.6.1.5.5.7.3.2), is valid now, comes from an issuer the server accepts (any issuer when
// the server names none) and matches its key. Returns 1 with them, 0 when there is none.
int SupplyClientCertificate(SSL* ssl, X509** certificate, EVP_PKEY** key);

}  // namespace popwire
