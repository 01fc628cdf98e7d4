#include <atomic>

#include "sockwire.h"

namespace {
// Successful initialisations not yet undone; any thread may call.
std::atomic<int> initializations{0};
}  // namespace

extern "C" int InetInitializeA(const char*, INITDATA*) {
    ++initializations;
    return 1;
}

extern "C" void InetUninitialize(void) {
    int count = initializations.load();
    while (count > 0 && !initializations.compare_exchange_weak(count, count - 1)) {
    }
}
