#pragma once

#include <cstdint>

#include "platform/windows/Message.h"
#include "sockwire.h"

// A socket whose notifications arrive as message 2025 at a hidden window of the thread that
// created the window (the first Listen or AcceptInto). Owned and used by that thread; its
// handlers run there while it dispatches its messages.
class CInetAsync {
public:
    static constexpr std::uint32_t kNotifyMessage = 2025;

    CInetAsync();
    virtual ~CInetAsync();
    CInetAsync(const CInetAsync&) = delete;
    CInetAsync& operator=(const CInetAsync&) = delete;

    // Listens on `address` (network order) and `port`; false when the library refused (see
    // its last error).
    bool Listen(std::uint32_t address, std::uint32_t port);
    // Accepts a pending connection of this listener into `other`, whose socket then reports to
    // its own window; false when nothing could be accepted.
    bool AcceptInto(std::uint32_t timeoutSeconds, CInetAsync& other);
    // Closes the socket and destroys the window; on the owner thread.
    void Disconnect();
    SOCKET GetSocket() const { return socket; }
    static std::uint32_t GetHostAddress(const char* name) { return InetGetHostAddressA(name); }

protected:
    virtual std::intptr_t OnSocketError(std::intptr_t, std::uint32_t) { return 0; }
    virtual std::intptr_t OnAccept() { return 0; }
    virtual std::intptr_t OnConnect() { return 0; }
    virtual std::intptr_t OnRead() { return 0; }
    virtual std::intptr_t OnWrite() { return 0; }
    virtual std::intptr_t OnClose() { return 0; }

    SOCKET socket = INVALID_SOCKET;

private:
    bool EnsureWindow();
    std::intptr_t HandleNotification(std::intptr_t parameter);
    static std::intptr_t WindowProcedure(platform::WindowHandle window, std::uint32_t message,
                                         std::uintptr_t wParam, std::intptr_t lParam);

    platform::WindowHandle window = nullptr;
    int initialized;
};
