#include "pingwire/Target.h"

#include <netdb.h>

#include <cstring>
#include <memory>

namespace pingwire {

std::optional<Target> Resolve(const char* host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    // One answer per address; no AI_ADDRCONFIG, which would hide ::1 on a host whose only
    // IPv6 address is the loopback one.
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) {
        return std::nullopt;
    }
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> answers(found, &::freeaddrinfo);
    for (const addrinfo* answer = found; answer; answer = answer->ai_next) {
        const bool known = answer->ai_family == AF_INET || answer->ai_family == AF_INET6;
        if (known && answer->ai_addrlen <= sizeof(sockaddr_storage)) {
            Target target;
            std::memcpy(&target.address, answer->ai_addr, answer->ai_addrlen);
            target.length = answer->ai_addrlen;
            return target;
        }
    }
    return std::nullopt;
}

}  // namespace pingwire
