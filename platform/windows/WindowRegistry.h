#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/windows/Message.h"
#include "platform/windows/WindowRecord.h"

namespace platform {

// Every message window of the process, by handle. One per process (the wire libraries and the
// program share it because this library is shared); any thread may use it.
class WindowRegistry {
public:
    // Never destroyed, so that libraries unloaded late at exit can still restore their hooks.
    static WindowRegistry& Instance();

    // A new window owned by the calling thread. Never returns null.
    WindowHandle Create(WindowProcedure procedure, void* userData);

    // The record of a live window (also while it is being destroyed), or null.
    std::shared_ptr<WindowRecord> Find(WindowHandle window) const;
    bool Exists(WindowHandle window) const { return Find(window) != nullptr; }

    // Owner thread only: sends WM_DESTROY and WM_NCDESTROY, then removes the window.
    // False for an unknown window, another thread's window or one already being destroyed.
    bool Destroy(WindowHandle window);

    // Removes every window of an ending thread, without messages: its procedures may rely on
    // thread-local state that is already gone.
    void RemoveThreadWindows(std::uint32_t threadId);

    // Calls the current procedure of the message's window; 0 when the window is gone.
    std::intptr_t Deliver(const Message& message) const;

private:
    WindowRegistry() = default;

    mutable std::mutex mutex;
    std::uintptr_t nextId = 0x100;  // guarded by mutex; ids are never reused
    std::unordered_map<WindowHandle, std::shared_ptr<WindowRecord>> windows;  // guarded
};

}  // namespace platform
