#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/windows/Message.h"
#include "platform/winsock/WinsockApi.h"

namespace winsock {

// One Winsock socket over one POSIX descriptor. The descriptor is always O_NONBLOCK; the
// Winsock-level blocking mode is `nonBlocking`. Shared by the calling threads and the
// notifier thread; every mutable field is guarded by `mutex`. The descriptor is closed when the
// last reference goes, so a thread still waiting on a closed socket never sees its descriptor
// number reused.
struct SocketEntry {
    SocketEntry(Socket id, int fd, int type);
    ~SocketEntry();
    SocketEntry(const SocketEntry&) = delete;
    SocketEntry& operator=(const SocketEntry&) = delete;

    const Socket id;
    const int fd;
    const int type;  // WS_SOCK_STREAM, WS_SOCK_DGRAM or WS_SOCK_RAW

    std::mutex mutex;
    bool closed = false;
    bool nonBlocking = false;
    bool listening = false;
    bool connected = false;
    bool connectPending = false;  // a non-blocking connect has not finished yet
    int connectError = 0;         // Winsock error of a failed connect, reported by SO_ERROR

    // Window notification (wsock_WSAAsyncSelect).
    platform::WindowHandle window = nullptr;
    std::uint32_t message = 0;
    std::uint32_t events = 0;       // requested FD_ bits
    std::uint32_t armed = 0;        // FD_ bits that may be posted next
    bool peerClosed = false;        // end of stream or reset seen by the notifier
    bool hangupSeen = false;        // the descriptor reported a hang-up not yet told to the window
    std::uint32_t watchedMask = 0;  // epoll interest registered for the descriptor (0: none)

    // Interrupt descriptors of threads blocked on this socket; closing signals them.
    std::vector<int> waiters;

    // With `mutex` held: settles a pending connect from SO_ERROR when the descriptor reports
    // it finished, and posts FD_CONNECT with its error to a window that asked for it. Returns
    // true when the connect is no longer pending.
    bool SettleConnectLocked();
};

}  // namespace winsock
