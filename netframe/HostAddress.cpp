#include "netframe/HostAddress.h"

#include <cstring>

namespace netframe {

std::optional<std::uint32_t> FirstAddress(const winsock::HostEnt* host) {
    if (!host || !host->addressList || !host->addressList[0] ||
        host->length != sizeof(std::uint32_t)) {
        return std::nullopt;
    }
    std::uint32_t address;
    std::memcpy(&address, host->addressList[0], sizeof(address));
    return address;
}

std::optional<std::uint32_t> ResolveHost(Winsock& winsock, const char* host) {
    const std::uint32_t dotted = winsock.InetAddr(host);
    if (dotted != winsock::WS_INADDR_NONE) {
        return dotted;
    }
    return FirstAddress(winsock.GetHostByName(host));
}

}  // namespace netframe
