#include "popserver/WakeSignal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "core/Exception.h"

WakeSignal::WakeSignal() : descriptor(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (descriptor == -1) {
        throw Exception("Unable to create a wake-up signal");
    }
}

WakeSignal::~WakeSignal() {
    ::close(descriptor);
}

void WakeSignal::Raise() {
    const std::uint64_t one = 1;
    // Only fails when the counter would overflow, and then it is raised already.
    [[maybe_unused]] const auto written = ::write(descriptor, &one, sizeof(one));
}

void WakeSignal::Clear() {
    std::uint64_t count = 0;
    // Non-blocking: nothing to read means it was clear already.
    [[maybe_unused]] const auto read = ::read(descriptor, &count, sizeof(count));
}
