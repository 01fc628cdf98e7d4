#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "database/LetterTypes.h"

// When a letter that could not be sent is tried again: the first two attempts at once, the
// third an hour after the first failure, then every 12 hours up to the ninth, 72 hours after
// the first failure; a letter that failed that one is dropped. The count of attempts and the
// time of the first failure are kept in the letter itself, so the schedule survives restarts.
namespace RetrySchedule {

// Whether the letter's next attempt may happen at `now`. A count of 2 to 8 without a first
// failure time throws Exception (see Letter::GetFirstDispatchTime).
bool IsDue(const Letter& letter, const boost::posix_time::ptime& now);
// Whether a failure of the coming attempt drops the letter.
bool IsLastAttempt(const Letter& letter);
// Counts a failed attempt made at `now`; the first one also stores `now` as the first failure.
void RecordFailedAttempt(Letter& letter, const boost::posix_time::ptime& now);

}  // namespace RetrySchedule
