#pragma once

#include "platform/winsock/WinsockApi.h"

namespace winsock {

// Winsock's per-thread state: the last error, the blocking call in progress and the blocking
// hook. Each thread has its own; only that thread touches it, except the interrupt descriptor,
// which other threads signal (through SocketEntry's waiter list) when they close a socket the
// thread waits on.
class ThreadState {
public:
    static ThreadState& Current();

    ThreadState() = default;
    ~ThreadState();
    ThreadState(const ThreadState&) = delete;
    ThreadState& operator=(const ThreadState&) = delete;

    int lastError = 0;
    bool blocking = false;        // a blocking call waits on this thread
    bool cancelled = false;       // wsock_WSACancelBlockingCall ended it
    BlockingHook hook = nullptr;  // null: the default hook

    // An eventfd, created on first use, that wakes this thread's blocking wait.
    int InterruptDescriptor();
    // Resets the interrupt descriptor after a wake-up.
    void ClearInterrupt();

private:
    int interruptFd = -1;
};

// Sets the calling thread's last Winsock error and returns `result` (for one-line failures).
template <typename T>
T Fail(int error, T result) {
    ThreadState::Current().lastError = error;
    return result;
}

}  // namespace winsock
