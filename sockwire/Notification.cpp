#include "sockwire/Notification.h"

#include <array>

#include "netframe/LastError.h"
#include "netframe/PendingEvents.h"
#include "platform/ThreadId.h"
#include "platform/windows/MessageWindows.h"
#include "sockwire/SocketNames.h"

namespace sockwire {

namespace {

using netframe::Fail;

// Frozen events come back in this order, each once.
constexpr std::array<std::uint32_t, 6> kRepostOrder = {
    winsock::WS_FD_ACCEPT, winsock::WS_FD_CONNECT, winsock::WS_FD_CLOSE,
    winsock::WS_FD_READ,   winsock::WS_FD_WRITE,   winsock::WS_FD_OOB};

SocketLibrary& Library() {
    return SocketLibrary::Instance();
}

void RepostPending(InetClient& client) {
    if (!client.pendingEvents.Empty()) {
        client.pendingEvents.Repost(client.notificationWindow, client.notificationMessage,
                                    static_cast<std::uintptr_t>(client.socket), kRepostOrder);
    }
}

// Records where a connect ended and delivers INET_EVENT_CONNECT.
void DeliverConnect(const ClientPointer& client, std::uint32_t error) {
    RecordLocalAddress(*client);
    // A connect that failed leaves the socket unconnected.
    client->connected = error == 0;
    DeliverEvent(client, INET_EVENT_CONNECT, error);
}

void TranslateNotification(const ClientPointer& client, std::intptr_t parameter) {
    const auto event = static_cast<std::uint32_t>(parameter & 0xFFFF);
    const auto error = static_cast<std::uint32_t>((parameter >> 16) & 0xFFFF);
    if (client->frozen) {
        client->pendingEvents.Add(event, error);
        return;
    }
    switch (event) {
        case winsock::WS_FD_READ:
            DeliverEvent(client, INET_EVENT_READ, error);
            break;
        case winsock::WS_FD_WRITE:
            DeliverEvent(client, INET_EVENT_WRITE, error);
            break;
        case winsock::WS_FD_ACCEPT:
            DeliverEvent(client, INET_EVENT_ACCEPT, error);
            break;
        case winsock::WS_FD_CONNECT:
            DeliverConnect(client, error);
            break;
        case winsock::WS_FD_CLOSE:
            DeliverEvent(client, INET_EVENT_DISCONNECT, error);
            break;
        default:
            break;
    }
}

// Ends a socket's asynchronous mode whatever it is doing: the window no longer counts it,
// Winsock stops notifying and the socket blocks again.
void LeaveAsynchronousMode(InetClient& client) {
    DetachWindow(client);
    auto& winsock = Library().Winsock();
    if (client.notificationWindow.exchange(nullptr)) {
        winsock.AsyncSelect(client.socket, nullptr, 0, 0);
    }
    client.notificationMessage = 0;
    std::uint32_t blocking = 0;
    winsock.IoctlSocket(client.socket, winsock::WS_FIONBIO, &blocking);
}

// Installed on every window that sockets notify: turns their notifications into events, lets
// the sockets go when the window is destroyed, and hands every message on to the window's own
// procedure. Runs on the window's thread, which owns the sockets.
std::intptr_t HookedProcedure(platform::WindowHandle window, std::uint32_t message,
                              std::uintptr_t wParam, std::intptr_t lParam) {
    const auto previous = Library().Hooks().Previous(window);
    if (!previous) {
        return 0;
    }
    {
        // Messages arrive between the thread's own calls; they must not change its last error.
        const netframe::LastErrorKeeper keepError;
        if (message >= platform::WM_USER) {
            const auto client = Library().FindOwned(static_cast<SOCKET>(wParam));
            if (client && client->notificationWindow == window &&
                client->notificationMessage == message) {
                TranslateNotification(client, lParam);
            }
        }
        if (message == platform::WM_NCDESTROY) {
            for (const auto& client : Library().NotifyingWindow(window)) {
                LeaveAsynchronousMode(*client);
            }
        }
    }
    return platform::CallWindowProcedure(*previous, window, message, wParam, lParam);
}

}  // namespace

void DetachWindow(InetClient& client) {
    if (client.windowAttached.exchange(false)) {
        Library().Hooks().Detach(client.notificationWindow);
    }
}

int AsyncNotify(const ClientPointer& client, platform::WindowHandle window, std::uint32_t message) {
    if (client->inCallback) {
        return Fail(ERROR_INET_BLOCKED, INET_ERROR);
    }
    if (!window) {
        LeaveAsynchronousMode(*client);
        return 0;
    }
    // Everything is checked before the old window is let go, so that a refused request leaves
    // the socket as it was.
    if (!platform::IsWindow(window)) {
        return Fail(ERROR_INET_PARAMETER, INET_ERROR);
    }
    if (platform::GetWindowThreadId(window) != platform::CurrentThreadId()) {
        return Fail(ERROR_INET_NOTOWNER, INET_ERROR);
    }
    // The event message on the notification's own window would be taken for a notification
    // again and again.
    if (message < platform::WM_USER ||
        (window == client->eventWindow && message == client->eventMessage)) {
        return Fail(ERROR_INET_PARAMETER, INET_ERROR);
    }
    DetachWindow(*client);
    if (!Library().Hooks().Attach(window, &HookedProcedure)) {
        client->notificationWindow = nullptr;
        client->notificationMessage = 0;
        return Fail(ERROR_INET_NOHANDLES, INET_ERROR);
    }
    client->windowAttached = true;
    client->notificationWindow = window;
    client->notificationMessage = message;
    const long events = client->listening ? winsock::WS_FD_ACCEPT
                                          : (winsock::WS_FD_READ | winsock::WS_FD_WRITE |
                                             winsock::WS_FD_CONNECT | winsock::WS_FD_CLOSE);
    if (Library().Winsock().AsyncSelect(client->socket, window, message, events) != 0) {
        LeaveAsynchronousMode(*client);
        return Fail(ERROR_INET_SOCKET, INET_ERROR);
    }
    return 0;
}

void DeliverEvent(const ClientPointer& client, std::uint32_t event, std::uint32_t error) {
    if (client->frozen.exchange(true)) {
        return;
    }
    client->inCallback = true;
    const SOCKET handle = client->socket;
    if (const INETEVENTPROC callback = client->callbacks.CallbackFor(event)) {
        callback(handle, event, error, client->callbacks.ParameterFor(event));
    }
    if (client->eventWindow) {
        // Another thread's event window that nobody serves must not hold this thread for ever.
        const std::uint32_t seconds = client->timeout ? client->timeout.load() : kDefaultTimeout;
        platform::SendMessageTimeout(
            client->eventWindow, client->eventMessage, static_cast<std::uintptr_t>(handle),
            netframe::MakeEventParameter(event, error), std::chrono::seconds(seconds));
    }
    if (Library().FindOwned(handle) == client) {
        client->inCallback = false;
        client->frozen = false;
        // Notifications dispatched while the handler ran were held back; they are not lost.
        RepostPending(*client);
    }
}

void DeliverTimeout(const ClientPointer& client) {
    netframe::SetLastErrorCode(ERROR_INET_TIMEOUT);
    {
        const netframe::LastErrorKeeper keepError;
        DeliverEvent(client, INET_EVENT_TIMEOUT, 0);
    }
}

int FreezeEvents(const ClientPointer& client, bool freeze) {
    if (!client->notificationWindow || client->inCallback) {
        return 0;
    }
    if (!freeze && client->frozen) {
        RepostPending(*client);
    }
    client->frozen = freeze;
    return 0;
}

}  // namespace sockwire
