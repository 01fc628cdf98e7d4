#pragma once

#include <openssl/ssl.h>

#include <cstdint>

#include "popwire/SecurityDetails.h"

namespace popwire {

// The details of an established TLS session in the library's constants (see popwire.h for how
// today's protocols and ciphers map onto them), with `certificateStatus` and the server
// certificate's dates and names.
SecurityDetails DescribeSession(const SSL* ssl, std::uint32_t certificateStatus);

}  // namespace popwire
