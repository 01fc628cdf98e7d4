#include "platform/winsock/BlockingWait.h"

#include <algorithm>
#include <cerrno>

#include "platform/windows/MessageWindows.h"
#include "platform/winsock/ErrorMapping.h"

namespace winsock {

int DefaultBlockingHook() {
    platform::Message message;
    if (!platform::PeekMessage(message, true)) {
        return 0;
    }
    platform::DispatchMessage(message);
    return 1;
}

BlockingWait::BlockingWait(std::vector<std::shared_ptr<SocketEntry>> waitedOn)
    : entries(std::move(waitedOn)),
      thread(ThreadState::Current()),
      interruptFd(thread.InterruptDescriptor()) {
    thread.blocking = true;
    thread.cancelled = false;
    thread.ClearInterrupt();
    for (const auto& entry : entries) {
        std::lock_guard lock(entry->mutex);
        entry->waiters.push_back(interruptFd);
    }
}

BlockingWait::~BlockingWait() {
    for (const auto& entry : entries) {
        std::lock_guard lock(entry->mutex);
        const auto found = std::find(entry->waiters.begin(), entry->waiters.end(), interruptFd);
        if (found != entry->waiters.end()) {
            entry->waiters.erase(found);
        }
    }
    thread.blocking = false;
    thread.cancelled = false;
}

bool BlockingWait::Interrupted() const {
    if (thread.cancelled) {
        return true;
    }
    return std::any_of(entries.begin(), entries.end(), [](const auto& entry) {
        std::lock_guard lock(entry->mutex);
        return entry->closed;
    });
}

int BlockingWait::RunHook() const {
    return thread.hook ? thread.hook() : DefaultBlockingHook();
}

int BlockingWait::Poll(std::vector<pollfd>& descriptors,
                       std::optional<std::chrono::steady_clock::time_point> deadline) {
    using std::chrono::steady_clock;
    const int queueFd = platform::MessageQueueDescriptor();
    const std::size_t sockets = descriptors.size();
    bool watchQueue = true;
    for (;;) {
        if (Interrupted()) {
            return Fail(WSAEINTR, kSocketError);
        }
        std::vector<pollfd> all(descriptors);
        all.push_back({interruptFd, POLLIN, 0});
        if (watchQueue) {
            all.push_back({queueFd, POLLIN, 0});
        }
        int milliseconds = -1;
        if (deadline) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*deadline - steady_clock::now());
            milliseconds = static_cast<int>(std::max<long long>(0, left.count()));
        }
        const int ready = ::poll(all.data(), all.size(), milliseconds);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Fail(FromErrno(errno), kSocketError);
        }
        int socketsReady = 0;
        for (std::size_t i = 0; i < sockets; ++i) {
            descriptors[i].revents = all[i].revents;
            socketsReady += all[i].revents != 0;
        }
        if (all[sockets].revents) {
            thread.ClearInterrupt();
            continue;
        }
        if (socketsReady > 0) {
            return socketsReady;
        }
        if (watchQueue && all[sockets + 1].revents) {
            if (RunHook() == 0) {
                // A hook that handles nothing leaves the descriptor readable; watching it
                // further would only spin until the socket is ready.
                pollfd probe{queueFd, POLLIN, 0};
                watchQueue = ::poll(&probe, 1, 0) == 0;
            }
            continue;
        }
        if (deadline && steady_clock::now() >= *deadline) {
            return 0;
        }
    }
}

}  // namespace winsock
