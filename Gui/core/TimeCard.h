#pragma once

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
};
