#include "core/TimeCard.h"

#include <atomic>

#include "core/TimeCardException.h"

namespace {
// Shared by every thread; 1 once work is over.
std::atomic<int> workIsOver{0};
}  // namespace

void TimeCard::PunchIn() {
    workIsOver.store(0);
}

void TimeCard::PunchOut() {
    workIsOver.store(1);
}

bool TimeCard::IsOver() {
    return workIsOver.load() == 1;
}

void TimeCard::Check() {
    if (IsOver()) {
        throw TimeCardException();
    }
}
