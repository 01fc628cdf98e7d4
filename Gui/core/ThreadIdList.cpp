#include "core/ThreadIdList.h"

#include <algorithm>

void ThreadIdList::Add(ThreadId thread) {
    std::lock_guard lock(mutex);
    threads.push_back(thread);
}

void ThreadIdList::Remove(ThreadId thread) {
    std::lock_guard lock(mutex);
    const auto found = std::find(threads.begin(), threads.end(), thread);
    if (found != threads.end()) {
        threads.erase(found);
    }
}

std::vector<ThreadId> ThreadIdList::Copy() const {
    std::lock_guard lock(mutex);
    return threads;
}
