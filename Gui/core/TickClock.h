#pragma once

#include <chrono>

// Monotonic time for measuring intervals such as the work interval: unlike Clock it does not
// jump when the wall clock is set or summer time ends. Tests put a clock of their own in its
// place. Implementations must be safe to call from any thread.
class TickClock {
public:
    virtual ~TickClock() = default;
    virtual std::chrono::steady_clock::time_point Now() const {
        return std::chrono::steady_clock::now();
    }
};
