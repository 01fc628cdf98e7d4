#pragma once

#include <poll.h>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "platform/winsock/SocketEntry.h"
#include "platform/winsock/ThreadState.h"

namespace winsock {

// One blocking call of the calling thread, for as long as the object lives: the thread counts
// as blocking (wsock_WSAIsBlocking), its blocking hook runs whenever a message waits for it, and
// closing one of `entries` from another thread, or wsock_WSACancelBlockingCall from the hook,
// ends the wait with WSAEINTR. Calling thread only; callers make sure the thread is not
// blocking already.
class BlockingWait {
public:
    explicit BlockingWait(std::vector<std::shared_ptr<SocketEntry>> entries);
    ~BlockingWait();
    BlockingWait(const BlockingWait&) = delete;
    BlockingWait& operator=(const BlockingWait&) = delete;

    // Polls `descriptors` until one is ready (their revents are filled in) or `deadline`
    // passes (none: without limit). Returns the number of ready descriptors, 0 at the deadline,
    // or kSocketError with WSAEINTR when the call was cancelled or a socket closed.
    int Poll(std::vector<pollfd>& descriptors,
             std::optional<std::chrono::steady_clock::time_point> deadline);

private:
    bool Interrupted() const;
    int RunHook() const;

    std::vector<std::shared_ptr<SocketEntry>> entries;
    ThreadState& thread;
    int interruptFd;
};

// The hook of a thread that installed none: takes one waiting message of the thread and
// dispatches it; 1 when there was one.
int DefaultBlockingHook();

}  // namespace winsock
