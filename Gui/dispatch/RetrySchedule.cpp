#include "dispatch/RetrySchedule.h"

#include <cstdint>

#include "database/LetterData.h"

namespace RetrySchedule {

namespace {

constexpr std::int32_t kLastAttemptCount = 8;
constexpr std::int64_t kThirdAttemptDelaySeconds = 3600;
constexpr std::int64_t kLaterAttemptStepSeconds = 12 * 3600;

}  // namespace

bool IsDue(const Letter& letter, const boost::posix_time::ptime& now) {
    const std::int32_t count = letter.GetDispatchCount();
    if (count <= 1) {
        return true;
    }
    if (count > kLastAttemptCount) {
        return false;
    }
    const std::int64_t elapsedSeconds =
        (now - letter.GetFirstDispatchTime()).total_microseconds() / 1000000;
    const std::int64_t threshold =
        count == 2 ? kThirdAttemptDelaySeconds : (count - 2) * kLaterAttemptStepSeconds;
    return elapsedSeconds >= threshold;
}

bool IsLastAttempt(const Letter& letter) {
    return letter.GetDispatchCount() >= kLastAttemptCount;
}

void RecordFailedAttempt(Letter& letter, const boost::posix_time::ptime& now) {
    const std::int32_t count = letter.GetDispatchCount();
    if (count > 0) {
        letter.SetDispatchCount(count + 1);
        return;
    }
    letter.SetDispatchCount(1);
    letter.SetFirstDispatchTime(now);
}

}  // namespace RetrySchedule
