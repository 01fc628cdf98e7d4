#pragma once

#include <chrono>
#include <cstdint>

#include "platform/windows/Message.h"

// Message windows: invisible windows that exist only to receive messages, as the socket
// libraries and the local server use them for socket notifications. A window belongs to the
// thread that created it; its procedure runs on that thread, when the thread takes a posted
// message from its queue and dispatches it, or when another thread sends it a message and the
// owner looks at its queue. Every function may be called from any thread unless it says
// otherwise.

#define PLATFORM_WINDOWS_API __attribute__((visibility("default")))

namespace platform {

// A new window owned by the calling thread, with `procedure` (which may be null: every
// message then returns 0) and an opaque user value. Never returns null.
PLATFORM_WINDOWS_API WindowHandle CreateMessageWindow(WindowProcedure procedure,
                                                      void* userData = nullptr);

// Owner thread only. Sends WM_DESTROY, then WM_NCDESTROY, then removes the window; messages
// still queued for it are dropped. False for an unknown window or another thread's window.
// A thread's windows are also removed when the thread ends (without messages).
PLATFORM_WINDOWS_API bool DestroyWindow(WindowHandle window);

// True while the window exists (also during its destruction messages).
PLATFORM_WINDOWS_API bool IsWindow(WindowHandle window);

// The id (platform::CurrentThreadId) of the thread that owns the window; 0 when it is none.
PLATFORM_WINDOWS_API std::uint32_t GetWindowThreadId(WindowHandle window);

// The window's current procedure; null for an unknown window.
PLATFORM_WINDOWS_API WindowProcedure GetWindowProcedure(WindowHandle window);

// Installs `procedure` and returns the one it replaces; null when the window is unknown.
// Whoever replaces a procedure passes the messages it does not consume on to the old one.
PLATFORM_WINDOWS_API WindowProcedure SetWindowProcedure(WindowHandle window,
                                                        WindowProcedure procedure);

// The user value given at creation or by SetWindowUserData; null for an unknown window.
PLATFORM_WINDOWS_API void* GetWindowUserData(WindowHandle window);
PLATFORM_WINDOWS_API bool SetWindowUserData(WindowHandle window, void* userData);

// Calls `procedure` for the window (a replacing procedure passes messages on with it).
// Returns 0 when `procedure` is null.
PLATFORM_WINDOWS_API std::intptr_t CallWindowProcedure(WindowProcedure procedure,
                                                       WindowHandle window, std::uint32_t message,
                                                       std::uintptr_t wParam, std::intptr_t lParam);

// Queues a message for the window's owner thread and returns at once. False when the window
// does not exist or its thread has ended.
PLATFORM_WINDOWS_API bool PostMessage(WindowHandle window, std::uint32_t message,
                                      std::uintptr_t wParam, std::intptr_t lParam);

// Delivers a message and returns the procedure's result. On the owner thread the procedure is
// called directly; from another thread the call waits until the owner takes the message (in
// PeekMessage, WaitMessage or a blocking socket call), processing messages sent to the calling
// thread meanwhile. Returns 0 when the window does not exist or its thread ends first.
PLATFORM_WINDOWS_API std::intptr_t SendMessage(WindowHandle window, std::uint32_t message,
                                               std::uintptr_t wParam, std::intptr_t lParam);

// As SendMessage, but a send to another thread's window waits at most `timeout`: false when the
// owner did not take the message in time (it is then withdrawn and never delivered), or the
// window does not exist. Otherwise stores the procedure's result (0 when the owner thread
// ended first) and returns true.
PLATFORM_WINDOWS_API bool SendMessageTimeout(WindowHandle window, std::uint32_t message,
                                             std::uintptr_t wParam, std::intptr_t lParam,
                                             std::chrono::milliseconds timeout,
                                             std::intptr_t* result = nullptr);

// Calling thread's queue: first processes every message sent from other threads, then gives
// the oldest posted message, removing it when `remove` is set. False when none is waiting.
PLATFORM_WINDOWS_API bool PeekMessage(Message& message, bool remove = true);

// Calls the procedure of the message's window with it; 0 when the window is gone.
PLATFORM_WINDOWS_API std::intptr_t DispatchMessage(const Message& message);

// Waits until a message is waiting for the calling thread, at most `timeout` (negative:
// without limit). Messages sent from other threads are processed while waiting. True when a
// posted message is waiting.
PLATFORM_WINDOWS_API bool WaitMessage(std::chrono::milliseconds timeout);

// A descriptor that polls readable while a message may be waiting for the calling thread.
// Loops that wait for sockets and messages at once poll it beside their sockets and then call
// PeekMessage; it stays valid while the thread lives.
PLATFORM_WINDOWS_API int MessageQueueDescriptor();

}  // namespace platform
