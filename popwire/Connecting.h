#pragma once

#include <cstdint>

#include "popwire/PopClient.h"

namespace popwire {

// The steps of a connection that the blocking and the asynchronous connect share. Owner thread.

// Port and options as the caller means them: port 995 and POP_OPTION_SECURE_NOEXT imply TLS
// from the first byte, port 0 the standard port. False with ERROR_POP_PARAMETER (port above
// 65535) or ERROR_POP_SECURE_INITIALIZE.
bool SettleSecurity(std::uint32_t& port, std::uint32_t& options);

// Resolves the client's host and makes its non-blocking socket, with the client's timeout
// (`timeout`, 60 when 0) and, with POP_OPTION_SECURE, its TLS session. Stores the address to
// connect to. False with ERROR_POP_HOSTNAME, ERROR_POP_SOCKET or
// ERROR_POP_SECURE_CREDENTIALS.
bool OpenSocket(PopClient& client, std::uint32_t timeout, std::uint32_t& address);

// Everything after the TCP connection: TLS, the greeting, STLS. False with the last error; the
// caller closes the client.
bool CompleteConnection(PopClient& client);

}  // namespace popwire
