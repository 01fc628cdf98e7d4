#include "postoffice/PopwireStopScope.h"

#include <cstdint>
#include <thread>

#include "core/TimeCard.h"
#include "popwire.h"

namespace {

// The scopes alive on this thread.
thread_local int depth = 0;

int WorkIsOver(std::uintptr_t) {
    return TimeCard::IsOver() ? 1 : 0;
}

}  // namespace

PopwireStopScope::PopwireStopScope() : owner(std::this_thread::get_id()) {
    if (depth++ == 0) {
        PopSetCancelCheck(&WorkIsOver, 0);
    }
}

PopwireStopScope::~PopwireStopScope() {
    // The check belongs to the thread that made the scope; ended elsewhere (a client replaced
    // by another thread), it must not upset that thread's count. The owner keeps the check,
    // which only asks whether work is over.
    if (std::this_thread::get_id() != owner) {
        return;
    }
    if (--depth == 0) {
        PopSetCancelCheck(nullptr, 0);
    }
}
