#include "platform/winsock/ThreadState.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace winsock {

ThreadState& ThreadState::Current() {
    thread_local ThreadState state;
    return state;
}

ThreadState::~ThreadState() {
    if (interruptFd >= 0) {
        ::close(interruptFd);
    }
}

int ThreadState::InterruptDescriptor() {
    if (interruptFd < 0) {
        interruptFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }
    return interruptFd;
}

void ThreadState::ClearInterrupt() {
    std::uint64_t count;
    if (interruptFd >= 0) {
        [[maybe_unused]] const auto read = ::read(interruptFd, &count, sizeof(count));
    }
}

}  // namespace winsock
