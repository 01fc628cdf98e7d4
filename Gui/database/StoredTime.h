#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <string>

namespace DatabaseLayer {

// The two text forms in which points in time (local time) are kept in the database. Pure
// functions; any thread.

// 1977-01-01 00:00:00, the origin of the seconds form.
boost::posix_time::ptime GetReferenceTime();

// Seconds form: the decimal count of whole seconds from the reference time (truncated towards
// zero; negative before it). The count is 64-bit, so dates after January 2045 keep working;
// every earlier date gives the same text as a 32-bit count would. Throws Exception for a
// special (not-a-date) time.
std::string SecondsTextFromTime(const boost::posix_time::ptime& time);
// Reads the seconds form like atoi: leading white space, optional sign, leading digits; no digits
// (the empty text included) give the reference time. Counts beyond the representable calendar
// are held at its first or last second. Never throws.
boost::posix_time::ptime TimeFromSecondsText(const std::string& text);

// Calendar form, e.g. "2005-Mar-11 13:36:46" (fractions of a second dropped). Throws Exception
// for a special time.
std::string CalendarTextFromTime(const boost::posix_time::ptime& time);
// Reads the calendar form: year, month (number or English name) and day separated by "-", ":",
// ",", "." or "/", blanks, then hours:minutes:seconds. Throws Exception
// "Invalid date and time text: <text>" for anything else, including impossible dates.
boost::posix_time::ptime TimeFromCalendarText(const std::string& text);

}  // namespace DatabaseLayer
