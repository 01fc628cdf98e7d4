#include "sockwire/SocketNames.h"

#include <cstring>

#include "sockwire/SocketLibrary.h"

namespace sockwire {

namespace {

netframe::Winsock& Winsock() {
    return SocketLibrary::Instance().Winsock();
}

using NameQuery = int (netframe::Winsock::*)(winsock::Socket, winsock::SockAddr*, int*);

std::optional<winsock::SockAddrIn> QueryName(winsock::Socket socket, NameQuery query) {
    winsock::SockAddrIn address{};
    int length = sizeof(address);
    if ((Winsock().*query)(socket, reinterpret_cast<winsock::SockAddr*>(&address), &length) != 0) {
        return std::nullopt;
    }
    return address;
}

}  // namespace

bool RecordLocalAddress(InetClient& client) {
    const auto local = QueryName(client.socket, &netframe::Winsock::GetSockName);
    if (local) {
        client.localAddress = local->address.address;
        client.localPort = local->port;
    }
    return local.has_value();
}

bool RecordPeerAddress(InetClient& client) {
    const auto peer = QueryName(client.socket, &netframe::Winsock::GetPeerName);
    if (peer) {
        client.peerAddress = peer->address.address;
        client.peerPort = peer->port;
    }
    return peer.has_value();
}

std::optional<std::uint32_t> FirstAddress(const winsock::HostEnt* host) {
    if (!host || !host->addressList || !host->addressList[0] ||
        host->length != sizeof(std::uint32_t)) {
        return std::nullopt;
    }
    std::uint32_t address;
    std::memcpy(&address, host->addressList[0], sizeof(address));
    return address;
}

std::optional<std::uint32_t> ResolveHost(const char* host) {
    const std::uint32_t dotted = Winsock().InetAddr(host);
    if (dotted != winsock::WS_INADDR_NONE) {
        return dotted;
    }
    return FirstAddress(Winsock().GetHostByName(host));
}

}  // namespace sockwire
