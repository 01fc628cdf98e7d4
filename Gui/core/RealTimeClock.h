#pragma once

#include "core/Clock.h"

// The system clock in local time, to the second.
class RealTimeClock : public Clock {
public:
    boost::posix_time::ptime Now() const override;
};
