#include "core/TimeCard.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "core/TimeCardException.h"

namespace {
// Shared by every thread; 1 once work is over.
std::atomic<int> workIsOver{0};

// The watches of all threads. The lock is held while a wake runs, so that a watch cannot go
// (and with it what its wake refers to) in the middle of one.
std::mutex watchesMutex;
std::vector<const std::function<void()>*> watches;  // guarded by watchesMutex
}  // namespace

void TimeCard::PunchIn() {
    workIsOver.store(0);
}

void TimeCard::PunchOut() {
    workIsOver.store(1);
    std::lock_guard lock(watchesMutex);
    for (const auto* wake : watches) {
        (*wake)();
    }
}

bool TimeCard::IsOver() {
    return workIsOver.load() == 1;
}

void TimeCard::Check() {
    if (IsOver()) {
        throw TimeCardException();
    }
}

TimeCard::Watch::Watch(std::function<void()> onPunchOut) : wake(std::move(onPunchOut)) {
    std::lock_guard lock(watchesMutex);
    watches.push_back(&wake);
}

TimeCard::Watch::~Watch() {
    std::lock_guard lock(watchesMutex);
    watches.erase(std::find(watches.begin(), watches.end(), &wake));
}
