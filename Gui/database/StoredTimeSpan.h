#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <optional>
#include <string>

namespace DatabaseLayer {

// The text form in which lengths of time are kept in the database: hours (at least two
// digits), minutes and seconds (two digits each) separated by ":", e.g. "336:00:00" for 14 days
// and "06:00:00" for 6 hours. Pure functions; any thread.

// Writes `span` in that form, fractions of a second dropped. Throws Exception for a negative
// or special span, or one of a million hours or more (which could not be read back).
std::string TimeSpanTextFromDuration(const boost::posix_time::time_duration& span);

// Reads that form back: 1 to 6 digits of hours, then two digits each of minutes and seconds
// (below 60). Anything else, the empty text included, gives nullopt. Never throws.
std::optional<boost::posix_time::time_duration> DurationFromTimeSpanText(const std::string& text);

}  // namespace DatabaseLayer
