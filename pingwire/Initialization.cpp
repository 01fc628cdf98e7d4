#include <atomic>

#include "pingwire.h"

namespace {
// Successful initialisations not yet undone; any thread may call.
std::atomic<int> initializations{0};
}  // namespace

extern "C" int IcmpInitializeA(const char*, void*) {
    ++initializations;
    return 1;
}

extern "C" int IcmpUninitialize(void) {
    int count = initializations.load();
    while (count > 0 && !initializations.compare_exchange_weak(count, count - 1)) {
    }
    return 0;
}
