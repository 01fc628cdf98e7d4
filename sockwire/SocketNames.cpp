#include "sockwire/SocketNames.h"

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

}  // namespace sockwire
