#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdint>

#include "core/Clock.h"
#include "database/LetterPrunerData.h"
#include "database/LetterTypes.h"

// Deletes, at most once per interval, the letters of its box that were retrieved longer ago than
// a maximum age (the held letters of a protected account). Owned by its delivery point and used
// on the collection thread.
class LetterPruner {
public:
    // A new pruner with a new box; not persistent until SetPersistent(true).
    LetterPruner() = default;
    // The existing pruner `id`.
    explicit LetterPruner(std::int64_t id) : data(id) {}

    LetterBoxPtr GetLetterBox() const { return data.GetLetterBox(); }
    std::int64_t GetId() const { return data.GetId(); }
    DatabaseLayer::LetterPrunerData& GetData() { return data; }
    // Keeps or drops the pruner together with its box and letters.
    void SetPersistent(bool value) { data.SetPersistent(value); }

    // True when it never pruned, when `interval` or more has passed since it last did, or when
    // the last time lies after `now` or cannot be read (a clock set back, a damaged row), so
    // that pruning can never stop for good.
    bool IsPruneDue(const boost::posix_time::time_duration& interval,
                    const boost::posix_time::ptime& now) const;
    // When due: records the clock's time as the last pruning, then, with the box open for the
    // calling thread, deletes its letters retrieved before that time minus `maxAge`. Throws
    // Exception "Unable to open LetterBox" when another thread holds the box (the time is
    // recorded all the same, so the next try waits for the interval).
    void Prune(const boost::posix_time::time_duration& maxAge,
               const boost::posix_time::time_duration& interval, const Clock& clock);

private:
    DatabaseLayer::LetterPrunerData data;
};
