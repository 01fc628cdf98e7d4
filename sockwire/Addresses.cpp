// Local and peer addresses, host names and address texts.
#include <cstdio>

#include "netframe/HostAddress.h"
#include "netframe/LastError.h"
#include "netframe/TextConversion.h"
#include "sockwire.h"
#include "sockwire/SocketLibrary.h"
#include "sockwire/SocketNames.h"

using netframe::Fail;
using sockwire::SocketLibrary;

namespace {

constexpr std::uint32_t kNoAddress = 0xFFFFFFFF;
constexpr int kHostNameCapacity = 256;

netframe::Winsock& Winsock() {
    return SocketLibrary::Instance().Winsock();
}

void SetOutputs(std::uint32_t* address, std::uint32_t* port, std::uint32_t addressValue,
                std::uint32_t portValue) {
    if (address) {
        *address = addressValue;
    }
    if (port) {
        *port = portValue;
    }
}

}  // namespace

extern "C" {

int InetGetPeerAddress(SOCKET handle, std::uint32_t* address, std::uint32_t* port) {
    SetOutputs(address, port, kNoAddress, 0);
    const auto client = SocketLibrary::Instance().Lookup(handle);
    if (!client) {
        return INET_ERROR;
    }
    if (client->peerAddress == sockwire::kUnknownAddress) {
        winsock::SockAddrIn peer{};
        int length = sizeof(peer);
        if (Winsock().GetPeerName(handle, reinterpret_cast<winsock::SockAddr*>(&peer), &length) ==
            0) {
            client->peerAddress = peer.address.address;
            client->peerPort = peer.port;
        }
    }
    SetOutputs(address, port, client->peerAddress, Winsock().Ntohs(client->peerPort));
    return 0;
}

int InetGetLocalAddress(SOCKET handle, std::uint32_t* address, std::uint32_t* port) {
    SetOutputs(address, port, kNoAddress, 0);
    if (handle == INVALID_SOCKET) {
        char name[kHostNameCapacity];
        if (Winsock().GetHostName(name, sizeof(name)) != 0) {
            return Fail(ERROR_INET_LOCALHOST, INET_ERROR);
        }
        const auto first = netframe::FirstAddress(Winsock().GetHostByName(name));
        if (!first) {
            return Fail(ERROR_INET_LOCALHOST, INET_ERROR);
        }
        SetOutputs(address, port, *first, 0);
        return 0;
    }
    const auto client = SocketLibrary::Instance().Lookup(handle);
    if (!client) {
        return INET_ERROR;
    }
    // Ask the system while address or port is still open: a socket bound to port 0 learns its
    // port only there.
    if (client->localAddress == 0 || client->localPort == 0) {
        winsock::SockAddrIn local{};
        int length = sizeof(local);
        if (Winsock().GetSockName(handle, reinterpret_cast<winsock::SockAddr*>(&local), &length) ==
            0) {
            client->localAddress = local.address.address;
            client->localPort = local.port;
        }
    }
    SetOutputs(address, port, client->localAddress, Winsock().Ntohs(client->localPort));
    return 0;
}

int InetGetLocalNameA(char* buffer, int capacity) {
    if (!buffer || capacity <= 0) {
        return Fail(ERROR_INET_PARAMETER, INET_ERROR);
    }
    if (Winsock().GetHostName(buffer, capacity) != 0) {
        buffer[0] = '\0';
        return Fail(ERROR_INET_LOCALHOST, INET_ERROR);
    }
    return 0;
}

std::uint32_t InetGetHostAddressA(const char* name) {
    if (!name || !*name) {
        return Fail(ERROR_INET_HOSTNAME, kNoAddress);
    }
    const auto address = netframe::ResolveHost(Winsock(), name);
    return address ? *address : Fail(ERROR_INET_HOSTNAME, kNoAddress);
}

int InetGetHostNameA(std::uint32_t address, char* buffer, int capacity) {
    if (!buffer || capacity <= 0) {
        return Fail(ERROR_INET_PARAMETER, INET_ERROR);
    }
    if (address == 0 || address == kNoAddress) {
        return Fail(ERROR_INET_HOSTADDRESS, INET_ERROR);
    }
    const winsock::HostEnt* host = Winsock().GetHostByAddr(reinterpret_cast<const char*>(&address),
                                                           sizeof(address), winsock::WS_AF_INET);
    if (!host || !host->name) {
        return Fail(ERROR_INET_HOSTADDRESS, INET_ERROR);
    }
    netframe::CopyTruncated(host->name, buffer, capacity);
    return 0;
}

void InetFormatAddressA(std::uint32_t address, char* buffer, int capacity) {
    if (!buffer || capacity <= 0) {
        return;
    }
    char text[16];
    std::snprintf(text, sizeof(text), "%u.%u.%u.%u", address & 0xFF, (address >> 8) & 0xFF,
                  (address >> 16) & 0xFF, address >> 24);
    netframe::CopyTruncated(text, buffer, capacity);
}

}  // extern "C"
