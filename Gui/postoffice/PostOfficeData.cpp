#include "postoffice/PostOfficeData.h"

#include "core/Exception.h"
#include "core/Format.h"
#include "database/ThreadDatabase.h"
#include "database/TypeRegistry.h"
#include "database/tables/DispatchPointDataTable.h"
#include "dispatch/DispatchPoint.h"
#include "dispatch/DispatchPointData.h"

namespace DatabaseLayer {

namespace {

// The row must exist before anything it names is loaded: an id left in the settings by a
// deleted post office would otherwise give a post office made of empty ids.
std::int64_t RequireRow(std::int64_t id) {
    if (ExecuteScalar(Format("SELECT COUNT (*) FROM %1% WHERE id = %2%;",
                             PostOfficeDataTable().TableName(), id)) == 0) {
        throw Exception(Format("No post office %1%", id));
    }
    return id;
}

std::shared_ptr<DispatchPoint> RequireDispatchPoint(std::shared_ptr<DispatchPoint> point) {
    if (!point) {
        throw Exception("Internal error in PostOfficeData: no dispatch point given");
    }
    return point;
}

}  // namespace

PostOfficeData::PostOfficeData(std::shared_ptr<DispatchPoint> dispatchPointIn)
    : dispatchPoint(RequireDispatchPoint(std::move(dispatchPointIn))) {
    SetInt64Field("deliveryPointsId", deliveryPoints.GetId());
    SetInt64Field("trustedAddressesId", trustedSenderList.GetId());
    SetInt64Field("dispatchPointId", GetDispatchPointId());
}

PostOfficeData::PostOfficeData(std::int64_t existingId)
    : ObjectData(RequireRow(existingId)),
      deliveryPoints(GetInt64Field("deliveryPointsId")),
      trustedSenderList(GetInt64Field("trustedAddressesId")),
      dispatchPoint(TypeRegistry<DispatchPoint>::CreateFromTable(
          DispatchPointDataTable(), GetInt64Field("dispatchPointId"))) {}

void PostOfficeData::SetPersistent(bool value) {
    ObjectData::SetPersistent(value);
    deliveryPoints.SetPersistent(value);
    trustedSenderList.SetPersistent(value);
    dispatchPoint->GetData().SetPersistent(value);
}

std::int64_t PostOfficeData::GetDispatchPointId() const {
    return dispatchPoint->GetData().GetId();
}

}  // namespace DatabaseLayer
