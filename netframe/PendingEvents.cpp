#include "netframe/PendingEvents.h"

#include <bit>
#include <utility>

#include "netframe/EventCallbacks.h"
#include "platform/windows/MessageWindows.h"

namespace netframe {

void PendingEvents::Add(std::uint32_t event, std::uint32_t error) {
    for (std::uint32_t bits = event & 0xFFFF; bits != 0; bits &= bits - 1) {
        errors[std::countr_zero(bits)] = error;
    }
    events |= event & 0xFFFF;
}

void PendingEvents::Repost(platform::WindowHandle window, std::uint32_t message,
                           std::uintptr_t handle, std::span<const std::uint32_t> order) {
    const std::uint32_t pending = std::exchange(events, 0);
    for (const std::uint32_t event : order) {
        if (pending & event) {
            platform::PostMessage(window, message, handle,
                                  MakeEventParameter(event, errors[std::countr_zero(event)]));
        }
    }
    errors = {};
}

}  // namespace netframe
