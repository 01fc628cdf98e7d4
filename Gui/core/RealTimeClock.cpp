#include "core/RealTimeClock.h"

#include <boost/date_time/posix_time/posix_time.hpp>

boost::posix_time::ptime RealTimeClock::Now() const {
    return boost::posix_time::second_clock::local_time();
}
