// Connecting, listening and accepting.
#include <algorithm>
#include <climits>
#include <optional>

#include "netframe/HostAddress.h"
#include "netframe/LastError.h"
#include "platform/windows/MessageWindows.h"
#include "sockwire.h"
#include "sockwire/Notification.h"
#include "sockwire/SocketLibrary.h"
#include "sockwire/SocketNames.h"
#include "sockwire/SocketWait.h"

using netframe::Fail;
using sockwire::ClientPointer;
using sockwire::SocketLibrary;

namespace {

constexpr std::uint32_t kHighestPort = 65535;
constexpr int kListenBacklog = 20;
constexpr std::uint32_t kDefaultConnectTimeout = 60;

netframe::Winsock& Winsock() {
    return SocketLibrary::Instance().Winsock();
}

winsock::SockAddrIn MakeAddress(std::uint32_t address, std::uint16_t networkPort) {
    winsock::SockAddrIn result{};
    result.family = winsock::WS_AF_INET;
    result.port = networkPort;
    result.address.address = address;
    return result;
}

// Closes a socket that is being set up and returns INVALID_SOCKET with `error`.
SOCKET Abandon(const ClientPointer& client, std::uint32_t error) {
    SocketLibrary::Instance().Close(client->socket);
    return Fail(error, static_cast<SOCKET>(INVALID_SOCKET));
}

// As Abandon, keeping the error that the failed step has set.
SOCKET AbandonKeepingError(const ClientPointer& client) {
    return Abandon(client, netframe::GetLastErrorCode());
}

bool SetBlocking(const sockwire::InetClient& client, bool blocking) {
    std::uint32_t nonBlocking = blocking ? 0 : 1;
    return Winsock().IoctlSocket(client.socket, winsock::WS_FIONBIO, &nonBlocking) == 0;
}

// The wait of a blocking TCP connect that Winsock could not finish at once: writability means
// connected, a pending error or an exceptional socket means refused. Returns the handle or
// INVALID_SOCKET with the socket closed.
SOCKET AwaitConnect(ClientPointer client, std::uint32_t timeout) {
    const SOCKET handle = client->socket;
    winsock::FdSet writable{1, {handle}};
    winsock::FdSet exceptional{1, {handle}};
    // Winsock counts seconds in 32 bits: longer time-outs end there.
    winsock::TimeVal limit{static_cast<std::int32_t>(std::min<std::uint32_t>(
                               timeout ? timeout : kDefaultConnectTimeout, INT32_MAX)),
                           0};
    client->busy = true;
    const int ready = Winsock().Select(nullptr, &writable, &exceptional, &limit);
    const int selectError = ready < 0 ? Winsock().GetLastError() : 0;
    client->busy = false;
    if (!SocketLibrary::Instance().Lookup(handle)) {
        return INVALID_SOCKET;
    }
    if (ready < 0) {
        return Abandon(client, selectError == winsock::WSAEINPROGRESS ? ERROR_INET_BLOCKED
                                                                      : ERROR_INET_CONNECT);
    }
    if (ready == 0) {
        return Abandon(client, ERROR_INET_TIMEOUT);
    }
    int pending = 0;
    int length = sizeof(pending);
    // A refused connect is not a connection: it must not come back as a handle.
    if (exceptional.count > 0 ||
        Winsock().GetSockOpt(handle, winsock::WS_SOL_SOCKET, winsock::WS_SO_ERROR,
                             reinterpret_cast<char*>(&pending), &length) != 0 ||
        pending != 0) {
        return Abandon(client, ERROR_INET_CONNECT);
    }
    return handle;
}

}  // namespace

extern "C" {

SOCKET InetAsyncConnectExA(const char* host, std::uint32_t port, std::uint32_t protocol,
                           std::uint32_t timeout, std::uint32_t, std::uint32_t localAddress,
                           std::uint32_t localPort, INETWINDOW window, std::uint32_t message) {
    if (!host || !*host) {
        return Fail(ERROR_INET_HOSTNAME, static_cast<SOCKET>(INVALID_SOCKET));
    }
    if ((window && (!platform::IsWindow(window) || message < platform::WM_USER)) ||
        port > kHighestPort || localPort > kHighestPort) {
        return Fail(ERROR_INET_PARAMETER, static_cast<SOCKET>(INVALID_SOCKET));
    }
    if (!SocketLibrary::Instance().IsInitialized()) {
        return Fail(ERROR_INET_NETWORK, static_cast<SOCKET>(INVALID_SOCKET));
    }
    const auto address = netframe::ResolveHost(Winsock(), host);
    if (!address) {
        return Fail(ERROR_INET_HOSTNAME, static_cast<SOCKET>(INVALID_SOCKET));
    }
    if (protocol == 0) {
        protocol = INET_PROTOCOL_TCP;
    }
    const ClientPointer client = SocketLibrary::Instance().CreateClient(protocol);
    if (!client) {
        return INVALID_SOCKET;
    }
    const SOCKET handle = client->socket;
    client->peerAddress = *address;
    client->peerPort = Winsock().Htons(static_cast<std::uint16_t>(port));
    client->timeout = timeout;
    const bool tcp = protocol == INET_PROTOCOL_TCP;
    if (!tcp || localAddress != 0 || localPort != 0) {
        const auto local =
            MakeAddress(localAddress, Winsock().Htons(static_cast<std::uint16_t>(localPort)));
        if (Winsock().Bind(handle, reinterpret_cast<const winsock::SockAddr*>(&local),
                           sizeof(local)) != 0) {
            return Abandon(client, ERROR_INET_BIND);
        }
    }
    if (sockwire::AsyncNotify(client, window, message) != 0) {
        return AbandonKeepingError(client);
    }
    if (tcp) {
        if (!window) {
            SetBlocking(*client, false);
        }
        const auto remote = MakeAddress(*address, client->peerPort);
        if (Winsock().Connect(handle, reinterpret_cast<const winsock::SockAddr*>(&remote),
                              sizeof(remote)) != 0) {
            if (Winsock().GetLastError() != winsock::WSAEWOULDBLOCK) {
                return Abandon(client, ERROR_INET_CONNECT);
            }
            if (window) {
                // The outcome arrives as the connect notification and INET_EVENT_CONNECT.
                return handle;
            }
            if (AwaitConnect(client, timeout) == INVALID_SOCKET) {
                return INVALID_SOCKET;
            }
        }
        client->connected = true;
        if (!window) {
            SetBlocking(*client, true);
        }
    }
    sockwire::RecordLocalAddress(*client);
    return handle;
}

SOCKET InetAsyncConnectA(const char* host, std::uint32_t port, std::uint32_t protocol,
                         std::uint32_t timeout, INETWINDOW window, std::uint32_t message) {
    return InetAsyncConnectExA(host, port, protocol, timeout, 0, 0, 0, window, message);
}

SOCKET InetConnectExA(const char* host, std::uint32_t port, std::uint32_t protocol,
                      std::uint32_t timeout, std::uint32_t options, std::uint32_t localAddress,
                      std::uint32_t localPort) {
    return InetAsyncConnectExA(host, port, protocol, timeout, options, localAddress, localPort,
                               nullptr, 0);
}

SOCKET InetConnectA(const char* host, std::uint32_t port, std::uint32_t protocol,
                    std::uint32_t timeout) {
    return InetAsyncConnectExA(host, port, protocol, timeout, 0, 0, 0, nullptr, 0);
}

SOCKET InetAsyncListen(std::uint32_t localAddress, std::uint32_t localPort, INETWINDOW window,
                       std::uint32_t message) {
    if (localPort > kHighestPort) {
        return Fail(ERROR_INET_PARAMETER, static_cast<SOCKET>(INVALID_SOCKET));
    }
    const ClientPointer client = SocketLibrary::Instance().CreateClient(INET_PROTOCOL_TCP);
    if (!client) {
        return INVALID_SOCKET;
    }
    const SOCKET handle = client->socket;
    const std::uint16_t networkPort = Winsock().Htons(static_cast<std::uint16_t>(localPort));
    client->localAddress = localAddress;
    client->localPort = networkPort;
    client->listening = true;
    const std::int32_t reuse = 1;
    Winsock().SetSockOpt(handle, winsock::WS_SOL_SOCKET, winsock::WS_SO_REUSEADDR,
                         reinterpret_cast<const char*>(&reuse), sizeof(reuse));
    const auto local = MakeAddress(localAddress, networkPort);
    if (Winsock().Bind(handle, reinterpret_cast<const winsock::SockAddr*>(&local), sizeof(local)) !=
        0) {
        return Abandon(client, ERROR_INET_BIND);
    }
    if (Winsock().Listen(handle, kListenBacklog) != 0) {
        return Abandon(client, ERROR_INET_LISTEN);
    }
    if (sockwire::AsyncNotify(client, window, message) != 0) {
        return AbandonKeepingError(client);
    }
    return handle;
}

SOCKET InetListen(std::uint32_t localAddress, std::uint32_t localPort) {
    return InetAsyncListen(localAddress, localPort, nullptr, 0);
}

SOCKET InetAsyncAccept(SOCKET listener, std::uint32_t timeout, INETWINDOW window,
                       std::uint32_t message) {
    auto& library = SocketLibrary::Instance();
    // Any thread may accept on a listening socket; only its owner may wait on it.
    const ClientPointer listening = library.LookupAnyOwner(listener);
    if (!listening) {
        return INVALID_SOCKET;
    }
    if (listening->busy) {
        return Fail(ERROR_INET_BLOCKED, static_cast<SOCKET>(INVALID_SOCKET));
    }
    if (!listening->notificationWindow) {
        // Only the owner may wait: another thread's wait would hold the owner's accept and
        // close off for as long as it lasts.
        if (!library.Lookup(listener)) {
            return INVALID_SOCKET;
        }
        listening->busy = true;
        const auto outcome = sockwire::SelectOne(listener, sockwire::Readiness::Read,
                                                 sockwire::SecondsLimit(timeout));
        listening->busy = false;
        const ClientPointer owned = library.Lookup(listener);
        if (!owned) {
            return INVALID_SOCKET;
        }
        if (outcome.result == 0) {
            sockwire::DeliverTimeout(owned);
            return INVALID_SOCKET;
        }
        if (outcome.result < 0) {
            return Fail(outcome.winsockError == winsock::WSAEINPROGRESS ? ERROR_INET_BLOCKED
                                                                        : ERROR_INET_ACCEPT,
                        static_cast<SOCKET>(INVALID_SOCKET));
        }
    }
    const winsock::Socket accepted = Winsock().Accept(listener, nullptr, nullptr);
    if (accepted == winsock::kInvalidSocket) {
        return Fail(ERROR_INET_ACCEPT, static_cast<SOCKET>(INVALID_SOCKET));
    }
    const ClientPointer client = library.AdoptAccepted(accepted, timeout);
    if (!client) {
        return INVALID_SOCKET;
    }
    sockwire::RecordPeerAddress(*client);
    sockwire::RecordLocalAddress(*client);
    if (sockwire::AsyncNotify(client, window, message) != 0) {
        return AbandonKeepingError(client);
    }
    return client->socket;
}

SOCKET InetAccept(SOCKET listener, std::uint32_t timeout) {
    return InetAsyncAccept(listener, timeout, nullptr, 0);
}

}  // extern "C"
