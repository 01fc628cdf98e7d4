#pragma once

#include <optional>

namespace pingwire {

// An ICMP socket for one family, closed on destruction. Used by one thread.
//
// Linux's unprivileged ICMP datagram socket comes first: the kernel keeps the identifier
// (the socket's own) and hands it only the replies that carry it. Where the system refuses it
// (net.ipv4.ping_group_range leaves the caller out) a raw socket is tried, which needs root or
// CAP_NET_RAW and sees every ICMP packet of the host, so its caller must match replies itself.
class EchoSocket {
public:
    // Opens a socket for AF_INET or AF_INET6; nothing, with errno set, when neither kind may be
    // opened.
    static std::optional<EchoSocket> Open(int family);

    ~EchoSocket();
    EchoSocket(EchoSocket&& other) noexcept;
    EchoSocket& operator=(EchoSocket&&) = delete;
    EchoSocket(const EchoSocket&) = delete;
    EchoSocket& operator=(const EchoSocket&) = delete;

    int Descriptor() const { return descriptor; }
    // A raw socket: replies of other programs arrive too, and the kernel does not fill in the
    // identifier.
    bool IsRaw() const { return raw; }
    // Received packets start with their IPv4 header (raw IPv4 sockets only).
    bool HeaderInFront() const { return raw && isIpv4; }

private:
    EchoSocket(int openDescriptor, bool ipv4, bool isRaw)
        : descriptor(openDescriptor), isIpv4(ipv4), raw(isRaw) {}

    int descriptor;
    bool isIpv4;
    bool raw;
};

}  // namespace pingwire
