#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <mutex>

#include "core/Clock.h"

namespace moxeltest {

// A clock that stands still until the test moves it. Any thread may read or move it.
class FixedClock : public Clock {
public:
    explicit FixedClock(boost::posix_time::ptime start) : now(start) {}

    boost::posix_time::ptime Now() const override {
        std::lock_guard lock(mutex);
        return now;
    }
    void Set(boost::posix_time::ptime time) {
        std::lock_guard lock(mutex);
        now = time;
    }

private:
    mutable std::mutex mutex;
    boost::posix_time::ptime now;
};

}  // namespace moxeltest
