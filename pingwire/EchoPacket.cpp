#include "pingwire/EchoPacket.h"

#include <sys/socket.h>

namespace pingwire {

namespace {

constexpr std::uint8_t kEchoRequest4 = 8;
constexpr std::uint8_t kEchoReply4 = 0;
constexpr std::uint8_t kEchoRequest6 = 128;
constexpr std::uint8_t kEchoReply6 = 129;
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kPayloadSize = 32;

// The Internet checksum (RFC 1071) of `bytes`.
std::uint16_t Checksum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (std::size_t index = 0; index + 1 < bytes.size(); index += 2) {
        sum += static_cast<std::uint32_t>(bytes[index] << 8 | bytes[index + 1]);
    }
    if (bytes.size() % 2 != 0) {
        sum += static_cast<std::uint32_t>(bytes.back() << 8);
    }
    while (sum >> 16) {
        sum = (sum & 0xffff) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum);
}

std::uint16_t ReadWord(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] << 8 | bytes[offset + 1]);
}

}  // namespace

std::vector<std::uint8_t> MakeEchoRequest(int family, EchoId id) {
    std::vector<std::uint8_t> packet(kHeaderSize + kPayloadSize);
    packet[0] = family == AF_INET6 ? kEchoRequest6 : kEchoRequest4;
    packet[4] = static_cast<std::uint8_t>(id.identifier >> 8);
    packet[5] = static_cast<std::uint8_t>(id.identifier);
    packet[6] = static_cast<std::uint8_t>(id.sequence >> 8);
    packet[7] = static_cast<std::uint8_t>(id.sequence);
    for (std::size_t index = 0; index < kPayloadSize; ++index) {
        packet[kHeaderSize + index] = static_cast<std::uint8_t>('a' + index % 26);
    }
    if (family != AF_INET6) {
        const std::uint16_t sum = Checksum(packet);
        packet[2] = static_cast<std::uint8_t>(sum >> 8);
        packet[3] = static_cast<std::uint8_t>(sum);
    }
    return packet;
}

std::optional<EchoId> ParseEchoReply(std::span<const std::uint8_t> packet, int family,
                                     bool ipHeaderInFront) {
    if (ipHeaderInFront) {
        // The IPv4 header's length is its second nibble, in 32-bit words.
        if (packet.empty() || (packet[0] >> 4) != 4) {
            return std::nullopt;
        }
        const std::size_t headerLength = static_cast<std::size_t>(packet[0] & 0x0f) * 4;
        if (headerLength < 20 || headerLength > packet.size()) {
            return std::nullopt;
        }
        packet = packet.subspan(headerLength);
    }
    if (packet.size() < kHeaderSize || packet[1] != 0) {
        return std::nullopt;
    }
    if (packet[0] != (family == AF_INET6 ? kEchoReply6 : kEchoReply4)) {
        return std::nullopt;
    }
    // The kernel checks ICMPv6 checksums but hands raw IPv4 sockets whatever arrived.
    if (family != AF_INET6 && Checksum(packet) != 0) {
        return std::nullopt;
    }
    return EchoId{ReadWord(packet, 4), ReadWord(packet, 6)};
}

}  // namespace pingwire
