#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/windows/Message.h"

namespace netframe {

// The windows whose procedure a library has replaced to see the socket notifications that
// reach them: per window the previous procedure and the number of sockets that notify it.
// The first socket naming a window installs the library's procedure; when the last one leaves,
// the previous procedure comes back. Holds up to 256 windows. One per library per process; any
// thread. Destroying it (the library leaves the process) restores every hooked window.
class HookTable {
public:
    static constexpr int kCapacity = 256;

    HookTable() = default;
    ~HookTable();
    HookTable(const HookTable&) = delete;
    HookTable& operator=(const HookTable&) = delete;

    // Counts one more socket for `window`, installing `procedure` for the first. False when
    // the window does not exist or 256 windows are hooked already.
    bool Attach(platform::WindowHandle window, platform::WindowProcedure procedure);

    // Counts one socket less; at none, restores the previous procedure and forgets the window.
    void Detach(platform::WindowHandle window);

    // The procedure that `window` had before it was hooked (which may be null); nothing when
    // the window is not hooked.
    std::optional<platform::WindowProcedure> Previous(platform::WindowHandle window) const;

    // How many sockets notify `window` (0 when it is not hooked).
    int SocketCount(platform::WindowHandle window) const;

private:
    struct Hook {
        platform::WindowHandle window;
        platform::WindowProcedure previous;
        int sockets;
    };
    int FindLocked(platform::WindowHandle window) const;

    mutable std::mutex mutex;
    std::array<std::unique_ptr<Hook>, kCapacity> hooks{};  // guarded by mutex
    int used = 0;                                          // guarded by mutex
};

}  // namespace netframe
