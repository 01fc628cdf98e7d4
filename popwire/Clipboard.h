#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace popwire {

// The desktop clipboard, reached without tying the library to a GUI toolkit: through the
// desktop's own clipboard programs, run directly (never through a shell) with a deadline.
// With WAYLAND_DISPLAY set, wl-copy and wl-paste; otherwise with DISPLAY set, xclip or else
// xsel. Any thread; each call runs its own child process.
class Clipboard {
public:
    // Whether a desktop session is named in the environment at all; without one the other
    // calls fail at once.
    static bool Reachable();

    // Puts `text` on the clipboard; false when no program took it by `deadline` (a program
    // still running then is killed).
    static bool Put(const std::string& text, std::chrono::steady_clock::time_point deadline);

    // The clipboard's text; nullopt when none could be had by `deadline` or it is empty.
    static std::optional<std::string> Get(std::chrono::steady_clock::time_point deadline);
};

}  // namespace popwire
