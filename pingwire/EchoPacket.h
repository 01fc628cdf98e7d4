#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pingwire {

// The identifier and sequence number of an ICMP echo message.
struct EchoId {
    std::uint16_t identifier = 0;
    std::uint16_t sequence = 0;
    bool operator==(const EchoId&) const = default;
};

// An echo request for `family` (AF_INET or AF_INET6) with a small fixed payload. The IPv4
// checksum is filled in; the kernel fills in the ICMPv6 one (RFC 3542, 3.1).
std::vector<std::uint8_t> MakeEchoRequest(int family, EchoId id);

// The identifier and sequence of `packet` when it is an echo reply of `family`; nothing for
// anything else (our own request seen on loopback, errors, other programs' traffic, a short
// or corrupt packet). `ipHeaderInFront`: the packet starts with its IPv4 header (raw IPv4
// sockets).
std::optional<EchoId> ParseEchoReply(std::span<const std::uint8_t> packet, int family,
                                     bool ipHeaderInFront);

}  // namespace pingwire
