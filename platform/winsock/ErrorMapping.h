#pragma once

namespace winsock {

// The Winsock error number for a POSIX errno value (WSAEINVAL for anything unexpected).
int FromErrno(int error);

// The Winsock error number for a getaddrinfo/getnameinfo result.
int FromResolverError(int error);

}  // namespace winsock
