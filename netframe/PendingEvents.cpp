#include "netframe/PendingEvents.h"

#include "platform/windows/MessageWindows.h"

namespace netframe {

void RepostPendingEvents(platform::WindowHandle window, std::uint32_t message,
                         std::uintptr_t handle, std::uint32_t pending,
                         std::span<const std::uint32_t> order) {
    for (const std::uint32_t event : order) {
        if (pending & event) {
            platform::PostMessage(window, message, handle, static_cast<std::intptr_t>(event));
        }
    }
}

}  // namespace netframe
