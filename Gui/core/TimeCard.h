#pragma once

#include <functional>

// The process-wide stop signal of background work. The post office punches in when it starts
// collecting and punches out when told to stop; long-running work calls Check() where it can
// stop cleanly. Any thread may use it.
class TimeCard {
public:
    static void PunchIn();
    static void PunchOut();
    static bool IsOver();
    // Throws TimeCardException when work is over.
    static void Check();

    // For work that waits where it cannot Check() (a blocking network call): while the object
    // lives, `wake` runs on the thread that punches out. A punch-out before the object was made
    // is not replayed: Check() after making it. `wake` must be quick and must not use the
    // TimeCard; once the destructor has returned it is not running and will not run again.
    class Watch {
    public:
        explicit Watch(std::function<void()> wake);
        ~Watch();
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;

    private:
        std::function<void()> wake;
    };
};
