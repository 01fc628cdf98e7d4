#include "popwire/Notification.h"

#include <array>
#include <memory>
#include <utility>
#include <vector>

#include "netframe/LastError.h"
#include "platform/ThreadId.h"
#include "platform/windows/MessageWindows.h"
#include "popwire/Connecting.h"
#include "popwire/DeadlineAlarm.h"
#include "popwire/Events.h"
#include "popwire/PopLibrary.h"
#include "popwire/Transport.h"

namespace popwire {

namespace {

using netframe::Fail;
using std::chrono::steady_clock;

// A notification of the library's own, beside Winsock's: the client's asynchronous deadline
// may have come.
constexpr std::uint32_t kDeadlineNotification = 0x8000;

// Frozen notifications come back in this order, each once.
constexpr std::array<std::uint32_t, 6> kRepostOrder = {
    winsock::WS_FD_CONNECT, winsock::WS_FD_ACCEPT, winsock::WS_FD_CLOSE,
    winsock::WS_FD_READ,    winsock::WS_FD_WRITE,  winsock::WS_FD_OOB};

PopLibrary& Library() {
    return PopLibrary::Instance();
}

// The calling thread's clients with notifications held back until its current wait is over.
std::vector<std::weak_ptr<PopClient>>& DeferredClients() {
    thread_local std::vector<std::weak_ptr<PopClient>> clients;
    return clients;
}

bool Posts(const PopClient& client, std::uint32_t notification, std::uint32_t error) {
    const platform::WindowHandle window = client.notificationWindow;
    return window &&
           platform::PostMessage(window, client.notificationMessage,
                                 static_cast<std::uintptr_t>(client.socket.load()),
                                 winsock::MakeSelectReply(notification, static_cast<int>(error)));
}

// The window no longer counts the client; Winsock stops notifying. The socket stays
// non-blocking, as every wait of the library expects.
void LeaveAsynchronousMode(PopClient& client) {
    const platform::WindowHandle window = client.notificationWindow.exchange(nullptr);
    if (client.windowAttached.exchange(false)) {
        Library().Hooks().Detach(window);
    }
    if (window) {
        Library().Winsock().AsyncSelect(client.socket, nullptr, 0, 0);
    }
    client.notificationMessage = 0;
    client.alarmSet = false;
    client.asyncDeadline.reset();
    client.pendingEvents = {};
}

// The caller is told how the connection went; a failed one is then closed.
void ReportConnection(const ClientPointer& client, bool connected) {
    const std::uint32_t error = connected ? ERROR_POP_NONE : netframe::GetLastErrorCode();
    DeliverEvent(*client, POP_EVENT_CONNECT, error);
    if (!connected) {
        Library().Close(client, false);
    }
}

void FinishConnect(const ClientPointer& client, std::uint32_t winsockError) {
    if (!client->connectPending) {
        return;
    }
    client->connectPending = false;
    const auto until = client->asyncDeadline.value_or(steady_clock::now());
    client->asyncDeadline.reset();
    if (winsockError != 0) {
        netframe::SetLastErrorCode(ERROR_POP_CONNECT);
        ReportConnection(client, false);
        return;
    }
    // The handshake and the greeting take what is left of the connection's time-out.
    const OperationDeadline deadline(
        *client, std::chrono::ceil<std::chrono::milliseconds>(until - steady_clock::now()));
    const bool ok = CompleteConnection(*client);
    ReportConnection(client, ok);
}

// A read notification becomes POP_EVENT_READ only when something of the server is there to
// read: one that the library's own reading overtook announces nothing.
void AnnounceRead(PopClient& client) {
    if (!InputBuffered(client) && !client.closed && client.brokenBy == 0 &&
        !FillWithoutWaiting(client)) {
        return;
    }
    DeliverEvent(client, POP_EVENT_READ, 0);
}

void TimeOut(const ClientPointer& client) {
    client->asyncDeadline.reset();
    if (client->connectPending) {
        client->connectPending = false;
        // A late FD_CONNECT must not start a session nobody waits for.
        Library().Winsock().AsyncSelect(client->socket, nullptr, 0, 0);
        FailWithEvent(*client, ERROR_POP_TIMEOUT, POP_EVENT_TIMEOUT);
        ReportConnection(client, false);
        return;
    }
    if (client->multiLine) {
        // The rest of the message may still come; it could be taken for the next answer.
        FailWithEvent(*client, ERROR_POP_TIMEOUT, POP_EVENT_TIMEOUT);
        Break(*client);
    }
}

void CheckDeadline(const ClientPointer& client) {
    client->alarmSet = false;
    if (!client->asyncDeadline) {
        return;
    }
    const auto now = steady_clock::now();
    if (client->busy || client->frozen || client->holdNotifications) {
        // Looked at again soon: a time-out is never delivered into a wait or while frozen.
        ArmDeadline(
            *client,
            std::max(std::chrono::ceil<std::chrono::milliseconds>(*client->asyncDeadline - now),
                     kCancelSlice));
        return;
    }
    if (now < *client->asyncDeadline) {
        // The wait was extended since the alarm was set.
        ArmDeadline(*client,
                    std::chrono::ceil<std::chrono::milliseconds>(*client->asyncDeadline - now));
        return;
    }
    TimeOut(client);
}

void Translate(const ClientPointer& client, std::uint32_t notification, std::uint32_t error) {
    if (notification == kDeadlineNotification) {
        CheckDeadline(client);
        return;
    }
    if (client->frozen || client->busy || client->holdNotifications) {
        client->pendingEvents.Add(notification, error);
        return;
    }
    // Dispatched inside another client's wait: Winsock takes one blocking call per thread, so
    // what may wait comes back once that wait is over.
    if (Library().Winsock().IsBlocking()) {
        client->pendingEvents.Add(notification, error);
        DeferredClients().push_back(client);
        return;
    }
    switch (notification) {
        case winsock::WS_FD_CONNECT:
            FinishConnect(client, error);
            break;
        case winsock::WS_FD_CLOSE:
            DeliverEvent(*client, POP_EVENT_DISCONNECT, error);
            break;
        case winsock::WS_FD_READ:
            AnnounceRead(*client);
            break;
        default:
            break;
    }
}

// The window is going: its clients return to blocking mode. A connect still pending can no
// longer be told, so that session is broken until it is closed.
void LetWindowGo(PopClient& client) {
    LeaveAsynchronousMode(client);
    if (std::exchange(client.connectPending, false)) {
        client.brokenBy = ERROR_POP_CONNECT;
    }
}

// Installed on every window that clients notify: turns their notifications into events, lets
// the clients go when the window is destroyed, and hands every other message on to the
// window's own procedure. Runs on the window's thread, which owns the clients.
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
            const auto client = Library().FindOwnedBySocket(static_cast<winsock::Socket>(wParam));
            if (client && client->notificationWindow == window &&
                client->notificationMessage == message) {
                const auto notification = static_cast<std::uint32_t>(lParam & 0xFFFF);
                Translate(client, notification,
                          static_cast<std::uint32_t>((lParam >> 16) & 0xFFFF));
                if (notification == kDeadlineNotification) {
                    return 0;  // the library's own; the window's owner never asked for it
                }
            }
        }
        if (message == platform::WM_NCDESTROY) {
            for (const auto& client : Library().NotifyingWindow(window)) {
                LetWindowGo(*client);
            }
        }
    }
    return platform::CallWindowProcedure(*previous, window, message, wParam, lParam);
}

}  // namespace

int AsyncNotify(const ClientPointer& client, platform::WindowHandle window, std::uint32_t message,
                std::uint32_t notifications) {
    if (!window) {
        LeaveAsynchronousMode(*client);
        return 0;
    }
    // Everything is checked before the old window is let go, so that a refused request leaves
    // the client as it was. The event message on the notification's own window would be taken
    // for a notification again and again.
    if (!platform::IsWindow(window) ||
        platform::GetWindowThreadId(window) != platform::CurrentThreadId() ||
        message < platform::WM_USER ||
        (window == client->eventWindow && message == client->eventMessage)) {
        return Fail(ERROR_POP_PARAMETER, POP_ERROR);
    }
    const std::optional<steady_clock::time_point> deadline = client->asyncDeadline;
    LeaveAsynchronousMode(*client);
    if (!Library().Hooks().Attach(window, &HookedProcedure)) {
        return Fail(ERROR_POP_HANDLE, POP_ERROR);
    }
    client->windowAttached = true;
    client->notificationWindow = window;
    client->notificationMessage = message;
    if (Library().Winsock().AsyncSelect(client->socket, window, message, notifications) != 0) {
        LeaveAsynchronousMode(*client);
        return Fail(ERROR_POP_HANDLE, POP_ERROR);
    }
    // A wait in progress keeps its deadline, told to the new window.
    if (deadline) {
        ArmDeadline(*client, std::max(std::chrono::milliseconds(0),
                                      std::chrono::ceil<std::chrono::milliseconds>(
                                          *deadline - steady_clock::now())));
    }
    return 0;
}

void RepostPending(PopClient& client) {
    const platform::WindowHandle window = client.notificationWindow;
    if (!window || client.frozen || client.busy || client.holdNotifications ||
        client.pendingEvents.Empty()) {
        return;
    }
    client.pendingEvents.Repost(window, client.notificationMessage,
                                static_cast<std::uintptr_t>(client.socket.load()), kRepostOrder);
}

void RepostDeferred() {
    auto& deferred = DeferredClients();
    if (deferred.empty() || Library().Winsock().IsBlocking()) {
        return;
    }
    for (const auto& waiting : std::exchange(deferred, {})) {
        if (const auto client = waiting.lock()) {
            RepostPending(*client);
        }
    }
}

void AnnounceData(PopClient& client) {
    Posts(client, winsock::WS_FD_READ, 0);
}

void AnnounceConnect(PopClient& client) {
    Posts(client, winsock::WS_FD_CONNECT, 0);
}

bool ArmDeadline(PopClient& client, std::chrono::milliseconds limit) {
    const platform::WindowHandle window = client.notificationWindow;
    client.asyncDeadline = steady_clock::now() + limit;
    if (!window || client.alarmSet) {
        return true;
    }
    const platform::Message alarm{window, client.notificationMessage,
                                  static_cast<std::uintptr_t>(client.socket.load()),
                                  winsock::MakeSelectReply(kDeadlineNotification, 0)};
    client.alarmSet = DeadlineAlarm::Instance().PostAt(*client.asyncDeadline, alarm);
    return client.alarmSet;
}

void FreezeEvents(PopClient& client, bool freeze) {
    if (!client.notificationWindow || client.socket == winsock::kInvalidSocket) {
        return;
    }
    const bool thawing = client.frozen && !freeze;
    client.frozen = freeze;
    if (thawing) {
        RepostPending(client);
    }
}

HeldNotifications::HeldNotifications(PopClient& held)
    : client(held), previous(std::exchange(held.holdNotifications, true)) {}

HeldNotifications::~HeldNotifications() {
    client.holdNotifications = previous;
    RepostPending(client);
}

}  // namespace popwire
