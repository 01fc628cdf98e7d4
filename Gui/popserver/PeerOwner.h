#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>

// The operating-system user that owns the client end of a loopback TCP connection, read from
// the kernel's socket tables (/proc/net/tcp, and /proc/net/tcp6 for a client on an IPv6 socket
// with a mapped IPv4 address). The client's socket is the entry whose local end is the peer's
// address and port and whose remote end is ours. Addresses are in network order as sockwire
// gives them, ports in host order. Nothing when no entry matches (the client is gone, or it
// lives in another network namespace). Any thread.
std::optional<uid_t> FindPeerOwner(std::uint32_t peerAddress, std::uint32_t peerPort,
                                   std::uint32_t localAddress, std::uint32_t localPort);
