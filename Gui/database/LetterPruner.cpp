#include "database/LetterPruner.h"

#include "core/Exception.h"
#include "database/LetterBoxLock.h"

bool LetterPruner::IsPruneDue(const boost::posix_time::time_duration& interval,
                              const boost::posix_time::ptime& now) const {
    std::optional<boost::posix_time::ptime> last;
    try {
        last = data.GetLastPruneTime();
    } catch (const Exception&) {
        return true;
    }
    return !last || *last > now || now - *last >= interval;
}

void LetterPruner::Prune(const boost::posix_time::time_duration& maxAge,
                         const boost::posix_time::time_duration& interval, const Clock& clock) {
    const boost::posix_time::ptime now = clock.Now();
    if (!IsPruneDue(interval, now)) {
        return;
    }
    data.SetLastPruneTime(now);
    const LetterBoxPtr box = data.GetLetterBox();
    LetterBoxLock lock(box);
    box->PruneLettersOlderThan(now, maxAge);
}
