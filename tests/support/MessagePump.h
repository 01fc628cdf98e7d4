#pragma once

#include <chrono>
#include <functional>

#include "platform/windows/MessageWindows.h"

namespace moxeltest {

// Dispatches the calling thread's messages until `done` holds or `timeout` passes; returns
// whether `done` held. For tests that wait for window notifications.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        platform::Message message;
        while (platform::PeekMessage(message, true)) {
            platform::DispatchMessage(message);
        }
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        platform::WaitMessage(std::chrono::milliseconds(20));
    }
}

// Dispatches the calling thread's messages for `period` (to show that nothing more arrives).
inline void PumpFor(std::chrono::milliseconds period) {
    PumpUntil([] { return false; }, period);
}

}  // namespace moxeltest
