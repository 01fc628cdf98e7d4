#pragma once

#include <cstdint>
#include <mutex>

#include "platform/winsock/SocketEntry.h"

namespace winsock {

// Posts the window notifications of wsock_WSAAsyncSelect. One thread per process watches the
// descriptors of sockets in notification mode (epoll) and posts each network event to the
// socket's window once, until the call that re-enables it: recv for FD_READ, a send that would
// block for FD_WRITE, accept for FD_ACCEPT. FD_CONNECT and FD_CLOSE come once. The thread starts
// with the first notification request and runs until the process ends; it keeps no socket
// between two events.
class AsyncNotifier {
public:
    static AsyncNotifier& Instance();

    // With entry.mutex held: notifications of `events` to `window` with `message` from now on,
    // all of them armed; events 0 or a null window ends them.
    void SelectLocked(SocketEntry& entry, platform::WindowHandle window, std::uint32_t message,
                      std::uint32_t events);
    // With entry.mutex held: lets the events in `bits` be posted again.
    void RearmLocked(SocketEntry& entry, std::uint32_t bits);
    // With entry.mutex held: watches the descriptor for what the entry can be told next.
    void UpdateLocked(SocketEntry& entry);
    // With entry.mutex held, once a pending connect has ended with `error` (0: connected):
    // posts FD_CONNECT when the window asked for it; a failed connect has nothing more to tell.
    void ConnectSettledLocked(SocketEntry& entry, int error);
    // False when the notifier thread cannot be started (the system refuses a thread).
    bool Available();

private:
    AsyncNotifier();
    bool EnsureRunning();
    void Run();
    void HandleLocked(SocketEntry& entry, std::uint32_t ready);
    void HandleStreamLocked(SocketEntry& entry, std::uint32_t ready);
    static std::uint32_t InterestLocked(const SocketEntry& entry);
    static void PostLocked(const SocketEntry& entry, std::uint32_t event, int error);

    const int epollFd;
    std::once_flag started;
};

}  // namespace winsock
