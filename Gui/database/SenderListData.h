#pragma once

#include <cstdint>

#include "database/ObjectData.h"
#include "database/PersistentStringCollection.h"
#include "database/tables/SenderListDataTable.h"

namespace DatabaseLayer {

// The stored form of an approved senders list: a row of `SenderList` naming the string
// collection that holds the entries. Made persistent together with its collection. Not copyable:
// a copy would share, and could delete, the original's entries. Used on the thread that made it.
class SenderListData : public ObjectData<SenderListDataTable> {
public:
    // A new list row with a new, empty collection; neither persistent.
    SenderListData();
    // The existing list row `existingId` and the collection it names.
    explicit SenderListData(std::int64_t existingId);

    // Also applies to the collection, so that the entries live and die with the list.
    void SetPersistent(bool value) override;

    PersistentStringCollection& GetSenders() { return senders; }
    const PersistentStringCollection& GetSenders() const { return senders; }

private:
    PersistentStringCollection senders;
};

}  // namespace DatabaseLayer
