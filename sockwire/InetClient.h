#pragma once

#include <atomic>
#include <cstdint>

#include "netframe/EventCallbacks.h"
#include "netframe/PendingEvents.h"
#include "platform/windows/Message.h"
#include "platform/winsock/WinsockApi.h"
#include "sockwire.h"

namespace sockwire {

inline constexpr std::uint32_t kUnknownAddress = 0xFFFFFFFF;
inline constexpr std::uint32_t kDefaultTimeout = 60;

// One socket handle of the library: the Winsock socket (whose value is the handle) and its
// state. Made by the creating thread under the table lock, used by its owner thread. Other
// threads touch only what is atomic: a thread accepting on a listening socket reads `busy` and
// the notification window, and the last uninitialisation closes every record.
struct InetClient {
    winsock::Socket socket = winsock::kInvalidSocket;  // fixed once stored in the table
    std::uint32_t ownerThread = 0;                     // guarded by the table lock
    int socketType = winsock::WS_SOCK_STREAM;          // fixed: 1 stream, 2 datagram, 3 raw
    int protocol = INET_PROTOCOL_TCP;                  // fixed: 6, 17 or 255

    std::atomic<platform::WindowHandle> notificationWindow{nullptr};
    std::atomic<std::uint32_t> notificationMessage{0};
    std::atomic<bool> windowAttached{false};  // the notification window counts this socket

    std::atomic<bool> busy{false};  // a blocking wait of this socket runs
    std::atomic<bool> connected{false};
    std::atomic<bool> listening{false};
    std::atomic<bool> frozen{false};
    std::atomic<bool> inCallback{false};  // an event of this socket is being delivered

    std::atomic<std::uint32_t> localAddress{0};               // network byte order
    std::atomic<std::uint32_t> peerAddress{kUnknownAddress};  // network byte order
    std::atomic<std::uint16_t> localPort{0};                  // network byte order
    std::atomic<std::uint16_t> peerPort{0};                   // network byte order
    std::atomic<std::uint32_t> timeout{kDefaultTimeout};      // seconds; 0 waits without limit

    // Owner thread only.
    netframe::PendingEvents pendingEvents;  // Winsock events that came while frozen
    platform::WindowHandle eventWindow = nullptr;
    std::uint32_t eventMessage = 0;
    netframe::EventCallbacks<INETEVENTPROC> callbacks;
};

}  // namespace sockwire
