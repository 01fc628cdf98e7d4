#pragma once

#include <chrono>
#include <cstdint>

#include "platform/windows/Message.h"
#include "popwire/PopClient.h"

namespace popwire {

// Asynchronous mode: a client's socket notifies a window of its owner thread (Winsock's
// WSAAsyncSelect), and the library's procedure on that window turns the notifications into the
// client's events. Owner thread only.

// The notifications an asynchronous client asks for, with and without a pending connect.
inline constexpr std::uint32_t kSessionNotifications = winsock::WS_FD_READ | winsock::WS_FD_CLOSE;
inline constexpr std::uint32_t kConnectNotifications =
    kSessionNotifications | winsock::WS_FD_CONNECT;

// Sends the socket's `notifications` to `window` as `message`; a null window ends asynchronous
// mode. Returns 0, or POP_ERROR with ERROR_POP_PARAMETER (window gone or of another thread,
// message below 1024, or the event window's message) or ERROR_POP_HANDLE (no more windows can
// be hooked, Winsock refuses).
int AsyncNotify(const ClientPointer& client, platform::WindowHandle window, std::uint32_t message,
                std::uint32_t notifications);

// Posts the notifications held back while frozen or waiting, once each in the fixed order;
// nothing while the client is still frozen, waiting or holding them.
void RepostPending(PopClient& client);

// Posts the notifications of the thread's other clients that came during a wait, once the
// thread is no longer inside one.
void RepostDeferred();

// Posts FD_READ to the client's window, so that a caller driven by read notifications reads
// what has already arrived.
void AnnounceData(PopClient& client);

// Posts FD_CONNECT to the client's window: a connect that needed no wait.
void AnnounceConnect(PopClient& client);

// The client's asynchronous wait must be over `limit` from now; the window is told when it runs
// out. False when no alarm can be set (no thread).
bool ArmDeadline(PopClient& client, std::chrono::milliseconds limit);

// PopFreezeEvents on a client of the calling thread.
void FreezeEvents(PopClient& client, bool freeze);

// Holds the client's notifications back while the library reads or writes for the caller
// (storing, sending a message), and posts them afterwards.
class HeldNotifications {
public:
    explicit HeldNotifications(PopClient& client);
    ~HeldNotifications();
    HeldNotifications(const HeldNotifications&) = delete;
    HeldNotifications& operator=(const HeldNotifications&) = delete;

private:
    PopClient& client;
    bool previous;
};

}  // namespace popwire
