#include "platform/ThreadId.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

std::uint32_t CurrentThreadId() {
    // Cached per thread: the id never changes and the system call is not free.
    thread_local const auto id = static_cast<std::uint32_t>(::syscall(SYS_gettid));
    return id;
}

}  // namespace platform
