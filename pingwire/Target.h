#pragma once

#include <sys/socket.h>

#include <optional>

namespace pingwire {

// An address to send echoes to: IPv4 or IPv6, as the resolver gave it. A plain value.
struct Target {
    sockaddr_storage address{};
    socklen_t length = 0;

    int Family() const { return address.ss_family; }
};

// The first address of `host` (a name, or an IPv4 or IPv6 address text) from getaddrinfo;
// nothing when it cannot be resolved. Blocks as long as the system's resolver does. Any thread.
std::optional<Target> Resolve(const char* host);

}  // namespace pingwire
