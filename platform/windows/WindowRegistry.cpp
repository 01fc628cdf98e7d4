#include "platform/windows/WindowRegistry.h"

#include <vector>

#include "platform/ThreadId.h"

namespace platform {

WindowRegistry& WindowRegistry::Instance() {
    static auto* const registry = new WindowRegistry;
    return *registry;
}

WindowHandle WindowRegistry::Create(WindowProcedure procedure, void* userData) {
    auto record = std::make_shared<WindowRecord>();
    record->ownerThread = CurrentThreadId();
    record->queue = ThreadMessageQueue::Current();
    record->procedure = procedure;
    record->userData = userData;
    std::lock_guard lock(mutex);
    record->handle = reinterpret_cast<WindowHandle>(nextId++);
    windows.emplace(record->handle, record);
    return record->handle;
}

std::shared_ptr<WindowRecord> WindowRegistry::Find(WindowHandle window) const {
    std::lock_guard lock(mutex);
    const auto found = windows.find(window);
    return found == windows.end() ? nullptr : found->second;
}

bool WindowRegistry::Destroy(WindowHandle window) {
    const auto record = Find(window);
    if (!record || record->ownerThread != CurrentThreadId() || record->destroying.exchange(true)) {
        return false;
    }
    Deliver({window, WM_DESTROY, 0, 0});
    Deliver({window, WM_NCDESTROY, 0, 0});
    std::lock_guard lock(mutex);
    windows.erase(window);
    return true;
}

void WindowRegistry::RemoveThreadWindows(std::uint32_t threadId) {
    std::vector<std::shared_ptr<WindowRecord>> removed;  // released outside the lock
    std::lock_guard lock(mutex);
    for (auto it = windows.begin(); it != windows.end();) {
        if (it->second->ownerThread == threadId) {
            removed.push_back(std::move(it->second));
            it = windows.erase(it);
        } else {
            ++it;
        }
    }
}

std::intptr_t WindowRegistry::Deliver(const Message& message) const {
    const auto record = Find(message.window);
    if (!record) {
        return 0;
    }
    const WindowProcedure procedure = record->procedure.load();
    return procedure ? procedure(message.window, message.message, message.wParam, message.lParam)
                     : 0;
}

}  // namespace platform
