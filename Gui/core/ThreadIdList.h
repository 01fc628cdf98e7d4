#pragma once

#include <mutex>
#include <vector>

#include "core/MoxelCoreEventHandler.h"

// The threads a logger follows: changed by the logger's own event handlers, copied by its
// GetThreadFilter on any thread. Every operation is guarded, so any thread may call it.
class ThreadIdList {
public:
    void Add(ThreadId thread);
    // Removes the first occurrence of `thread`; nothing happens when it is absent.
    void Remove(ThreadId thread);
    std::vector<ThreadId> Copy() const;

private:
    mutable std::mutex mutex;
    std::vector<ThreadId> threads;
};
