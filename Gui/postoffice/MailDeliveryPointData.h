#pragma once

#include <cstdint>
#include <string>

#include "database/LetterPruner.h"
#include "database/LetterTypes.h"
#include "database/ObjectData.h"
#include "database/tables/MailDeliveryPointDataTable.h"
#include "postoffice/LetterDistributor.h"

namespace DatabaseLayer {

// The stored form of a mail delivery point: a row of "MailDeliveryPoint" with the protected
// address, the key it is filed under, and the ids of what it owns: the inbox, the pruner of the
// pending box, the distributor and the recent box. Kept or deleted together with all of them.
// Used on one thread; every call may throw Exception.
class MailDeliveryPointData : public ObjectData<MailDeliveryPointDataTable> {
public:
    // A new point for `address` with new boxes, a new pruner and `distributor`; nothing of it is
    // persistent yet. Throws Exception "Internal error in MailDeliveryPointData: no distributor
    // given" for null.
    MailDeliveryPointData(const std::string& address, LetterDistributorPtr distributor);
    // The existing point `existingId` with what it owns; the distributor is built through the
    // LetterDistributor type registry.
    explicit MailDeliveryPointData(std::int64_t existingId);

    void SetPersistent(bool value) override;

    std::string GetAddress() const { return GetStringField("address"); }
    // The stored text of the key; empty while the point is not attached.
    std::string GetLetterBoxKey() const { return GetStringField("letterBoxKey"); }
    void SetLetterBoxKey(const std::string& value) { SetStringField("letterBoxKey", value); }
    // The id of the collection; -1 while the point is not attached.
    std::int64_t GetCollectionId() const { return GetInt64Field("collectionId"); }
    void SetCollectionId(std::int64_t value) { SetInt64Field("collectionId", value); }

    const LetterBoxPtr& GetInbox() const { return inbox; }
    LetterPruner& GetPendingPruner() { return pendingPruner; }
    const LetterDistributorPtr& GetDistributor() const { return distributor; }
    const LetterBoxPtr& GetRecentLetters() const { return recentLetters; }

private:
    LetterBoxPtr inbox;
    LetterPruner pendingPruner;
    LetterDistributorPtr distributor;
    LetterBoxPtr recentLetters;
};

}  // namespace DatabaseLayer
