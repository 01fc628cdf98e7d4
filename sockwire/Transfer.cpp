// Reading, writing, discarding input, closing and the state queries.
#include <chrono>

#include "netframe/LastError.h"
#include "sockwire.h"
#include "sockwire/SocketLibrary.h"
#include "sockwire/SocketWait.h"

using netframe::Fail;
using sockwire::ClientPointer;
using sockwire::SocketLibrary;

namespace {

constexpr int kFlushChunk = 256;
constexpr std::chrono::milliseconds kFlushQuietTime(500);

netframe::Winsock& Winsock() {
    return SocketLibrary::Instance().Winsock();
}

// The library's error for a failed recv or send: "nothing now" in asynchronous mode (or inside
// another blocking call) is ERROR_INET_BLOCKED, anything else the operation's own error.
std::uint32_t TransferError(std::uint32_t operationError) {
    const int error = Winsock().GetLastError();
    return error == winsock::WSAEWOULDBLOCK || error == winsock::WSAEINPROGRESS ? ERROR_INET_BLOCKED
                                                                                : operationError;
}

// The record for a transfer of `length` bytes at `data` once the socket is ready for it
// (the blocking-wait rule); null with the last error set.
ClientPointer PrepareTransfer(SOCKET handle, const void* data, int length,
                              sockwire::Readiness readiness, std::uint32_t operationError) {
    ClientPointer client = SocketLibrary::Instance().Lookup(handle);
    if (!client) {
        return nullptr;
    }
    if (!data || length < 0) {
        return Fail(ERROR_INET_PARAMETER, nullptr);
    }
    return sockwire::AwaitReady(client, readiness, operationError) ? client : nullptr;
}

bool SetBlocking(SOCKET handle, bool blocking) {
    std::uint32_t nonBlocking = blocking ? 0 : 1;
    return Winsock().IoctlSocket(handle, winsock::WS_FIONBIO, &nonBlocking) == 0;
}

// A blocking write on a stream: sends until every byte is taken or the socket's time-out has
// passed since the call began, waiting for room in between. The socket does not block
// meanwhile, so that no single send outlasts the deadline. Returns the bytes sent, or
// INET_ERROR when none could be (the wait's or the send's error).
int WriteWithinTimeout(ClientPointer client, const char* bytes, int length) {
    const SOCKET handle = client->socket;
    const sockwire::Deadline deadline = sockwire::DeadlineAfter(client->timeout);
    SetBlocking(handle, false);
    int sent = 0;
    while (sent < length) {
        if (!sockwire::AwaitReady(client, sockwire::Readiness::Write, ERROR_INET_WRITE, deadline)) {
            break;
        }
        const int taken = Winsock().Send(handle, bytes + sent, length - sent, 0);
        if (taken < 0) {
            if (Winsock().GetLastError() == winsock::WSAEWOULDBLOCK) {
                continue;
            }
            netframe::SetLastErrorCode(TransferError(ERROR_INET_WRITE));
            break;
        }
        sent += taken;
    }
    // A message handled during a wait may have closed the socket.
    if (SocketLibrary::Instance().FindOwned(handle) == client) {
        SetBlocking(handle, true);
    }
    return sent > 0 ? sent : INET_ERROR;
}

int QueryReady(SOCKET handle, sockwire::Readiness readiness, std::uint32_t milliseconds,
               ClientPointer& client) {
    client = SocketLibrary::Instance().Lookup(handle);
    if (!client) {
        return 0;
    }
    const auto outcome =
        sockwire::SelectOne(handle, readiness, std::chrono::milliseconds(milliseconds));
    return outcome.result > 0 ? 1 : 0;
}

}  // namespace

extern "C" {

int InetRead(SOCKET handle, void* buffer, int capacity) {
    const ClientPointer client =
        PrepareTransfer(handle, buffer, capacity, sockwire::Readiness::Read, ERROR_INET_READ);
    if (!client) {
        return INET_ERROR;
    }
    auto* bytes = static_cast<char*>(buffer);
    int received;
    if (client->socketType == winsock::WS_SOCK_STREAM) {
        received = Winsock().Recv(handle, bytes, capacity, 0);
    } else {
        // A datagram's sender becomes the peer that InetWrite answers.
        winsock::SockAddrIn sender{};
        int length = sizeof(sender);
        received = Winsock().RecvFrom(handle, bytes, capacity, 0,
                                      reinterpret_cast<winsock::SockAddr*>(&sender), &length);
        if (received >= 0) {
            client->peerAddress = sender.address.address;
            client->peerPort = sender.port;
        }
    }
    return received < 0 ? Fail(TransferError(ERROR_INET_READ), INET_ERROR) : received;
}

int InetWrite(SOCKET handle, const void* data, int length) {
    {
        const ClientPointer client = SocketLibrary::Instance().Lookup(handle);
        if (!client) {
            return INET_ERROR;
        }
        if (!data || length < 0) {
            return Fail(ERROR_INET_PARAMETER, INET_ERROR);
        }
        if (client->socketType == winsock::WS_SOCK_STREAM && !client->notificationWindow &&
            length > 0) {
            return WriteWithinTimeout(client, static_cast<const char*>(data), length);
        }
    }
    const ClientPointer client =
        PrepareTransfer(handle, data, length, sockwire::Readiness::Write, ERROR_INET_WRITE);
    if (!client) {
        return INET_ERROR;
    }
    const auto* bytes = static_cast<const char*>(data);
    int sent;
    if (client->socketType == winsock::WS_SOCK_STREAM) {
        sent = Winsock().Send(handle, bytes, length, 0);
    } else {
        winsock::SockAddrIn peer{};
        peer.family = winsock::WS_AF_INET;
        peer.port = client->peerPort;
        peer.address.address = client->peerAddress;
        sent = Winsock().SendTo(handle, bytes, length, 0,
                                reinterpret_cast<const winsock::SockAddr*>(&peer), sizeof(peer));
    }
    return sent < 0 ? Fail(TransferError(ERROR_INET_WRITE), INET_ERROR) : sent;
}

int InetFlush(SOCKET handle) {
    const ClientPointer client = SocketLibrary::Instance().Lookup(handle);
    if (!client) {
        return INET_ERROR;
    }
    client->busy = true;
    // A peer that never stops sending must not keep the flush going past the time-out.
    const sockwire::Deadline deadline = sockwire::DeadlineAfter(client->timeout);
    char discarded[kFlushChunk];
    while ((!deadline || std::chrono::steady_clock::now() < *deadline) &&
           sockwire::SelectOne(handle, sockwire::Readiness::Read, kFlushQuietTime).result > 0 &&
           Winsock().Recv(handle, discarded, kFlushChunk, 0) > 0) {
    }
    client->busy = false;
    return 0;
}

int InetDisconnect(SOCKET handle) {
    const ClientPointer client = SocketLibrary::Instance().Lookup(handle);
    if (!client) {
        return INET_ERROR;
    }
    if (client->busy || Winsock().IsBlocking()) {
        return Fail(ERROR_INET_BLOCKED, INET_ERROR);
    }
    SocketLibrary::Instance().Close(handle);
    return 0;
}

int InetIsConnected(SOCKET handle) {
    const ClientPointer client = SocketLibrary::Instance().Lookup(handle);
    return client && client->connected ? 1 : 0;
}

int InetIsListening(SOCKET handle) {
    const ClientPointer client = SocketLibrary::Instance().Lookup(handle);
    return client && client->listening ? 1 : 0;
}

int InetIsReadable(SOCKET handle, std::uint32_t timeout, std::uint32_t* available) {
    if (available) {
        *available = 0;
    }
    ClientPointer client;
    if (!QueryReady(handle, sockwire::Readiness::Read, timeout, client)) {
        return 0;
    }
    if (available && client->connected) {
        std::uint32_t waiting = 0;
        if (Winsock().IoctlSocket(handle, winsock::WS_FIONREAD, &waiting) == 0) {
            *available = waiting;
        }
    }
    return 1;
}

int InetIsWritable(SOCKET handle, std::uint32_t timeout) {
    ClientPointer client;
    return QueryReady(handle, sockwire::Readiness::Write, timeout, client);
}

}  // extern "C"
