#pragma once

#include <cstdint>
#include <string>

#include "database/LetterBoxKey.h"
#include "database/ObjectDataCollection.h"
#include "postoffice/MailDeliveryPoint.h"
#include "postoffice/MailDeliveryPointData.h"

namespace DatabaseLayer {

// The protected accounts: the collection of mail delivery points, each filed under its letter
// box key. Owned by the post office. A collection destroyed while not persistent deletes every
// point in it with all its mail.
//
// The collection thread, the user interface thread and the POP3 session threads each use their
// own object over the same row. Every operation may throw Exception.
class MailDeliveryPointsData : public ObjectDataCollection<MailDeliveryPointData> {
public:
    // A new, empty collection; not persistent.
    MailDeliveryPointsData() = default;
    // The existing collection `existingId`.
    explicit MailDeliveryPointsData(std::int64_t existingId) : ObjectDataCollectionEx(existingId) {}
    MailDeliveryPointsData(const MailDeliveryPointsData&) = delete;
    MailDeliveryPointsData& operator=(const MailDeliveryPointsData&) = delete;

    // Files `point` under `key` and makes it persistent; returns false, changing nothing, when
    // another point already has the key.
    bool Attach(const LetterBoxKey& key, MailDeliveryPoint& point);
    // The point filed under `key`, or null.
    MailDeliveryPointPtr Find(const LetterBoxKey& key) const;
    // A point of the account `address` (the first the database returns), or null.
    MailDeliveryPointPtr FindByAddress(const std::string& address) const;
    // Deletes the point filed under `key` with all its mail. Throws Exception "Cannot detach the
    // delivery point; it is not in the collection" when there is none.
    void Detach(const LetterBoxKey& key);

private:
    // The point of this collection whose `column` holds `value`, or null.
    MailDeliveryPointPtr FindBy(const std::string& column, const std::string& value) const;
};

}  // namespace DatabaseLayer
