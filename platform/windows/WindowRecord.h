#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/windows/Message.h"
#include "platform/windows/ThreadMessageQueue.h"

namespace platform {

// What the registry knows about one message window. Created by the owner thread; the
// procedure and user data may be read and replaced from any thread.
struct WindowRecord {
    WindowHandle handle = nullptr;
    std::uint32_t ownerThread = 0;
    std::shared_ptr<ThreadMessageQueue> queue;
    std::atomic<WindowProcedure> procedure{nullptr};
    std::atomic<void*> userData{nullptr};
    // Set once destruction has begun, so that a second destroy from a handler fails.
    std::atomic<bool> destroying{false};
};

}  // namespace platform
