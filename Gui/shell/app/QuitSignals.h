#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

// SIGINT and SIGTERM end the tray application cleanly: the constructor blocks them (call it
// before any thread starts, so that every thread inherits the mask), and a waiter thread turns
// the first one into a call of the callback given to Start. Main thread only.
class QuitSignals {
public:
    QuitSignals();
    // Stop.
    ~QuitSignals();
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    // `onSignal` is called on the waiter thread.
    void Start(std::function<void()> onSignal);
    // Releases the waiter and joins it; no callback after this returns. Call it before whatever
    // the callback uses is destroyed.
    void Stop();

private:
    sigset_t set;
    std::atomic<bool> stopping{false};
    std::thread waiter;
};
