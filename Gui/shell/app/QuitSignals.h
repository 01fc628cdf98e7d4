#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

// SIGINT and SIGTERM end the tray application cleanly. The handler only writes to a pipe (all a
// handler may safely do) and a waiter thread turns each signal into a call of the callback given
// to Start. The signals are not blocked: programs the shell starts (the file browser, the web
// browser) inherit the mask and must still be able to be stopped. One per process; main thread.
class QuitSignals {
public:
    // Installs the handlers.
    QuitSignals();
    // Stop, then puts the previous handlers back.
    ~QuitSignals();
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    // `onSignal` is called on the waiter thread.
    void Start(std::function<void()> onSignal);
    // Releases the waiter and joins it; no callback after this returns. Call it before whatever
    // the callback uses is destroyed.
    void Stop();

private:
    int readEnd = -1;
    int writeEnd = -1;
    struct sigaction previousInterrupt {};
    struct sigaction previousTerminate {};
    std::thread waiter;
};
