#pragma once

#include <cstdint>
#include <span>

#include "platform/windows/Message.h"

namespace netframe {

// Posts each network event of `pending` once to `window` as its notification message (first
// parameter `handle`, second the event with error 0), in the order of `order`; bits not in
// `order` are dropped. Used when frozen events are released.
void RepostPendingEvents(platform::WindowHandle window, std::uint32_t message,
                         std::uintptr_t handle, std::uint32_t pending,
                         std::span<const std::uint32_t> order);

}  // namespace netframe
