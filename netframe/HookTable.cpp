#include "netframe/HookTable.h"

#include "platform/windows/MessageWindows.h"

namespace netframe {

HookTable::~HookTable() {
    std::lock_guard lock(mutex);
    for (auto& hook : hooks) {
        if (hook) {
            platform::SetWindowProcedure(hook->window, hook->previous);
            hook.reset();
        }
    }
}

int HookTable::FindLocked(platform::WindowHandle window) const {
    for (int index = 0; index < kCapacity; ++index) {
        if (hooks[index] && hooks[index]->window == window) {
            return index;
        }
    }
    return -1;
}

bool HookTable::Attach(platform::WindowHandle window, platform::WindowProcedure procedure) {
    std::lock_guard lock(mutex);
    if (const int found = FindLocked(window); found >= 0) {
        ++hooks[found]->sockets;
        return true;
    }
    if (used == kCapacity || !platform::IsWindow(window)) {
        return false;
    }
    for (auto& hook : hooks) {
        if (!hook) {
            hook = std::make_unique<Hook>(
                Hook{window, platform::SetWindowProcedure(window, procedure), 1});
            ++used;
            return true;
        }
    }
    return false;
}

void HookTable::Detach(platform::WindowHandle window) {
    std::lock_guard lock(mutex);
    const int found = FindLocked(window);
    if (found < 0 || --hooks[found]->sockets > 0) {
        return;
    }
    platform::SetWindowProcedure(window, hooks[found]->previous);
    hooks[found].reset();
    --used;
}

std::optional<platform::WindowProcedure> HookTable::Previous(platform::WindowHandle window) const {
    std::lock_guard lock(mutex);
    const int found = FindLocked(window);
    if (found < 0) {
        return std::nullopt;
    }
    return hooks[found]->previous;
}

int HookTable::SocketCount(platform::WindowHandle window) const {
    std::lock_guard lock(mutex);
    const int found = FindLocked(window);
    return found < 0 ? 0 : hooks[found]->sockets;
}

}  // namespace netframe
