#pragma once

#include <cstdint>

#include "platform/windows/Message.h"
#include "sockwire/SocketLibrary.h"

namespace sockwire {

// The message number with which InetEnableEvents puts a socket without notification window
// into asynchronous mode.
inline constexpr std::uint32_t kInternalNotificationMessage = 0xA100;

// InetAsyncNotify on a record the calling thread owns: 0, or INET_ERROR with the last error set.
int AsyncNotify(const ClientPointer& client, platform::WindowHandle window, std::uint32_t message);

// Takes a socket out of its notification window's count (the hook table's side of closing).
void DetachWindow(InetClient& client);

// Delivers one event to the owner: the registered callback, then the event message (to a window
// of another thread, waiting at most the socket's time-out, 60 seconds when it has none). Nothing
// while the socket is frozen; the socket is frozen during delivery, so events are never
// re-entered, and what arrived meanwhile is delivered afterwards.
void DeliverEvent(const ClientPointer& client, std::uint32_t event, std::uint32_t error);

// Sets ERROR_INET_TIMEOUT and delivers INET_EVENT_TIMEOUT; the error survives the delivery.
void DeliverTimeout(const ClientPointer& client);

// InetFreezeEvents on a record the calling thread owns.
int FreezeEvents(const ClientPointer& client, bool freeze);

}  // namespace sockwire
