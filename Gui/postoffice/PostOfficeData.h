#pragma once

#include <cstdint>
#include <memory>

#include "database/ObjectData.h"
#include "database/tables/PostOfficeDataTable.h"
#include "postoffice/MailDeliveryPointsData.h"
#include "postoffice/TrustedSenderList.h"

class DispatchPoint;

namespace DatabaseLayer {

// The stored post office: a row of "PostOffice" naming its delivery points collection, its
// trusted sender list and its dispatch point, which it owns and keeps or drops with itself.
// Used on the thread that made it; every call may throw Exception on a database error.
class PostOfficeData : public ObjectData<PostOfficeDataTable> {
public:
    // A new row with a new, empty delivery points collection and a new trusted sender list,
    // sending through `dispatchPoint`; nothing is persistent yet. Throws Exception "Internal
    // error in PostOfficeData: no dispatch point given" for null.
    explicit PostOfficeData(std::shared_ptr<DispatchPoint> dispatchPoint);
    // The existing row `existingId` and what it names; the dispatch point is built through the
    // DispatchPoint type registry. Throws Exception "No post office <id>" when the row is gone.
    explicit PostOfficeData(std::int64_t existingId);

    void SetPersistent(bool value) override;

    MailDeliveryPointsData& GetDeliveryPoints() { return deliveryPoints; }
    TrustedSenderList& GetTrustedSenderList() { return trustedSenderList; }
    const std::shared_ptr<DispatchPoint>& GetDispatchPoint() const { return dispatchPoint; }

    std::int64_t GetDeliveryPointsId() const { return deliveryPoints.GetId(); }
    std::int64_t GetTrustedSenderListId() const { return trustedSenderList.GetId(); }
    std::int64_t GetDispatchPointId() const;

private:
    MailDeliveryPointsData deliveryPoints;
    TrustedSenderList trustedSenderList;
    std::shared_ptr<DispatchPoint> dispatchPoint;
};

}  // namespace DatabaseLayer
