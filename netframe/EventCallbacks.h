#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace netframe {

// The seven event bits of the libraries (1 to 64); a callback slot per bit, index = bit
// position.
inline constexpr int kEventKinds = 7;
inline constexpr std::uint32_t kAllEventBits = (1U << kEventKinds) - 1;

// The slot index of a single event bit, or -1 when `event` is not one of the seven bits.
constexpr int EventIndex(std::uint32_t event) {
    return (event != 0 && (event & kAllEventBits) == event && std::has_single_bit(event))
               ? std::countr_zero(event)
               : -1;
}

// The second parameter of an event message: the event in the low 16 bits, the error in the
// high 16 bits.
constexpr std::intptr_t MakeEventParameter(std::uint32_t event, std::uint32_t error) {
    return static_cast<std::intptr_t>(((error & 0xFFFF) << 16) | (event & 0xFFFF));
}

// The callbacks registered for a handle, with the value handed to each. Used by the handle's
// owner thread only.
template <typename Callback>
class EventCallbacks {
public:
    // Sets callback and parameter of every event whose bit is in `mask`; bits above the seven
    // are ignored; a null callback clears.
    void Register(std::uint32_t mask, Callback callback, std::uintptr_t parameter) {
        for (int index = 0; index < kEventKinds; ++index) {
            if (mask & (1U << index)) {
                callbacks[index] = callback;
                parameters[index] = callback ? parameter : 0;
            }
        }
    }
    void Clear() { Register(kAllEventBits, nullptr, 0); }

    // The callback of one event bit (null when none or not an event bit) and its parameter.
    Callback CallbackFor(std::uint32_t event) const {
        const int index = EventIndex(event);
        return index < 0 ? nullptr : callbacks[index];
    }
    std::uintptr_t ParameterFor(std::uint32_t event) const {
        const int index = EventIndex(event);
        return index < 0 ? 0 : parameters[index];
    }

private:
    std::array<Callback, kEventKinds> callbacks{};
    std::array<std::uintptr_t, kEventKinds> parameters{};
};

}  // namespace netframe
