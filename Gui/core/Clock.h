#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>

// Source of the local date and time, so that date-dependent logic can run on a fixed clock
// in tests. Implementations must be safe to call from any thread.
class Clock {
public:
    virtual ~Clock() = default;
    // The local date and time, to the second.
    virtual boost::posix_time::ptime Now() const = 0;
};
