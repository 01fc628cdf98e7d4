#include "pingwire/EchoSocket.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace pingwire {

namespace {

int OpenKind(int family, int type) {
    const int protocol = family == AF_INET6 ? int{IPPROTO_ICMPV6} : int{IPPROTO_ICMP};
    return ::socket(family, type | SOCK_CLOEXEC | SOCK_NONBLOCK, protocol);
}

}  // namespace

std::optional<EchoSocket> EchoSocket::Open(int family) {
    const bool isIpv4 = family == AF_INET;
    int descriptor = OpenKind(family, SOCK_DGRAM);
    if (descriptor >= 0) {
        return EchoSocket(descriptor, isIpv4, false);
    }
    descriptor = OpenKind(family, SOCK_RAW);
    if (descriptor >= 0) {
        return EchoSocket(descriptor, isIpv4, true);
    }
    return std::nullopt;
}

EchoSocket::~EchoSocket() {
    if (descriptor >= 0) {
        ::close(descriptor);
    }
}

EchoSocket::EchoSocket(EchoSocket&& other) noexcept
    : descriptor(other.descriptor), isIpv4(other.isIpv4), raw(other.raw) {
    other.descriptor = -1;
}

}  // namespace pingwire
