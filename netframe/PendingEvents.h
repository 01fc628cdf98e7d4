#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "platform/windows/Message.h"

namespace netframe {

// Network events that arrived while a handle's events were frozen, each with the error that came
// with it (a refused connect, a reset), to be posted again once the handle thaws. An event
// that comes several times is kept once, with the last error it came with. Used by the
// handle's owner thread only.
class PendingEvents {
public:
    void Add(std::uint32_t event, std::uint32_t error);
    bool Empty() const { return events == 0; }
    // Posts each pending event once to `window` as its notification message (first parameter
    // `handle`, second the event in the low and its error in the high 16 bits), in the order
    // of `order` (bits not in it are dropped), and forgets them.
    void Repost(platform::WindowHandle window, std::uint32_t message, std::uintptr_t handle,
                std::span<const std::uint32_t> order);

private:
    static constexpr int kKinds = 16;  // the low 16 bits of a notification are the event
    std::uint32_t events = 0;
    std::array<std::uint32_t, kKinds> errors{};
};

}  // namespace netframe
