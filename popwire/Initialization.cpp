#include <atomic>

#include "popwire.h"

namespace {
// Successful initialisations not yet undone; any thread may call.
std::atomic<int> initializations{0};
}  // namespace

extern "C" int PopInitializeA(const char*, INITDATA*) {
    ++initializations;
    return 1;
}

extern "C" void PopUninitialize(void) {
    int count = initializations.load();
    while (count > 0 && !initializations.compare_exchange_weak(count, count - 1)) {
    }
}
