#pragma once

#include <cstdint>

#include "database/ObjectData.h"
#include "database/tables/LetterDistributorDataTable.h"

namespace DatabaseLayer {

// The stored part every letter distributor shares: a row of "LetterDistributor" whose `type`
// says which kind of distributor it belongs to. Used on one thread.
class LetterDistributorData : public ObjectData<LetterDistributorDataTable> {
public:
    // A new row; not persistent.
    LetterDistributorData() = default;
    // The existing row `existingId`; persistent.
    explicit LetterDistributorData(std::int64_t existingId) : ObjectData(existingId) {}

    // 1 for a PopLetterDistributor.
    std::int32_t GetType() const { return GetIntField("type"); }
};

}  // namespace DatabaseLayer
