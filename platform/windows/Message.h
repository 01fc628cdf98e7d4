#pragma once

#include <cstdint>

#include "platform/windows/WindowTypes.h"

namespace platform {

using WindowHandle = ::MOXEL_HWND;

// A window procedure: receives every message of the windows it is installed on and returns the
// message's result. Called on the thread that owns the window.
using WindowProcedure = std::intptr_t (*)(WindowHandle window, std::uint32_t message,
                                          std::uintptr_t wParam, std::intptr_t lParam);

// Message numbers with a fixed meaning.
inline constexpr std::uint32_t WM_NULL = 0x0000;
// Sent first when a window is destroyed; the window still exists.
inline constexpr std::uint32_t WM_DESTROY = 0x0002;
// Sent last when a window is destroyed; the window still exists until the procedure returns.
inline constexpr std::uint32_t WM_NCDESTROY = 0x0082;
// The first number free for private use; numbers below it are reserved for the system.
inline constexpr std::uint32_t WM_USER = 0x0400;

// One message as it waits in a thread's queue.
struct Message {
    WindowHandle window = nullptr;
    std::uint32_t message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

}  // namespace platform
