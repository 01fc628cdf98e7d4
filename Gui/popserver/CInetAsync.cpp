#include "popserver/CInetAsync.h"

#include "platform/windows/MessageWindows.h"

namespace {

INETWINDOW AsInetWindow(platform::WindowHandle window) {
    // The same opaque type under the library's name.
    return reinterpret_cast<INETWINDOW>(window);
}

}  // namespace

CInetAsync::CInetAsync() : initialized(InetInitializeA(nullptr, nullptr)) {}

CInetAsync::~CInetAsync() {
    Disconnect();
    if (initialized != 0) {
        InetUninitialize();
    }
}

bool CInetAsync::Listen(std::uint32_t address, std::uint32_t port) {
    if (!EnsureWindow()) {
        return false;
    }
    socket = InetAsyncListen(address, port, AsInetWindow(window), kNotifyMessage);
    return socket != INVALID_SOCKET;
}

bool CInetAsync::AcceptInto(std::uint32_t timeoutSeconds, CInetAsync& other) {
    if (!other.EnsureWindow()) {
        return false;
    }
    other.socket =
        InetAsyncAccept(socket, timeoutSeconds, AsInetWindow(other.window), kNotifyMessage);
    return other.socket != INVALID_SOCKET;
}

void CInetAsync::Disconnect() {
    if (socket != INVALID_SOCKET) {
        InetDisconnect(socket);
        socket = INVALID_SOCKET;
    }
    if (window != nullptr) {
        // Fails harmlessly on another thread; the window then goes with its thread.
        platform::DestroyWindow(window);
        window = nullptr;
    }
}

bool CInetAsync::EnsureWindow() {
    if (window == nullptr) {
        window = platform::CreateMessageWindow(&CInetAsync::WindowProcedure, this);
    }
    return window != nullptr;
}

std::intptr_t CInetAsync::WindowProcedure(platform::WindowHandle window, std::uint32_t message,
                                          std::uintptr_t, std::intptr_t lParam) {
    auto* self = static_cast<CInetAsync*>(platform::GetWindowUserData(window));
    if (message != kNotifyMessage || self == nullptr) {
        return 0;
    }
    return self->HandleNotification(lParam);
}

std::intptr_t CInetAsync::HandleNotification(std::intptr_t parameter) {
    const auto error = static_cast<std::uint32_t>((parameter >> 16) & 0xFFFF);
    if (error != 0) {
        return OnSocketError(parameter, error);
    }
    switch (parameter & 0xFFFF) {
        case 1:
            return OnRead();
        case 2:
            return OnWrite();
        case 8:
            return OnAccept();
        case 16:
            return OnConnect();
        case 32:
            return OnClose();
        default:
            return 0;
    }
}
