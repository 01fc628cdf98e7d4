#include "postoffice/PopwireStopScope.h"

#include <cstdint>

#include "core/TimeCard.h"
#include "popwire.h"

namespace {

// The scopes alive on this thread.
thread_local int depth = 0;

int WorkIsOver(std::uintptr_t) {
    return TimeCard::IsOver() ? 1 : 0;
}

}  // namespace

PopwireStopScope::PopwireStopScope() {
    if (depth++ == 0) {
        PopSetCancelCheck(&WorkIsOver, 0);
    }
}

PopwireStopScope::~PopwireStopScope() {
    if (--depth == 0) {
        PopSetCancelCheck(nullptr, 0);
    }
}
