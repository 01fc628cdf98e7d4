#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdint>
#include <optional>

#include "database/LetterTypes.h"
#include "database/ObjectData.h"
#include "database/tables/LetterPrunerDataTable.h"

namespace DatabaseLayer {

// The stored part of a letter pruner: a row of "LetterPruner" with the time of the last pruning
// (calendar form) and the id of the pruned letter box, which it owns. Used on one thread.
class LetterPrunerData : public ObjectData<LetterPrunerDataTable> {
public:
    // A new pruner with a new, empty letter box; neither is persistent yet.
    LetterPrunerData();
    // The existing pruner `id` with the box its row names; persistent.
    explicit LetterPrunerData(std::int64_t id);

    // Keeps or drops the pruner and its box together.
    void SetPersistent(bool value) override;

    LetterBoxPtr GetLetterBox() const { return letterBox; }
    // The last pruning time; nullopt when never pruned. Throws Exception when the stored text is
    // not a calendar time.
    std::optional<boost::posix_time::ptime> GetLastPruneTime() const;
    void SetLastPruneTime(const boost::posix_time::ptime& time);

private:
    LetterBoxPtr letterBox;
};

}  // namespace DatabaseLayer
